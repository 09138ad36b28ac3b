#include "platform/random.h"

#include <cstdint>

namespace plat {
namespace {
// Each thread has its own generator, as each has its own game: the program
// plays on one thread, and a server re-runs games on several at once.
thread_local uint32_t g_state = 1;  // the runtime's state before any srand
}  // namespace

void Srand(unsigned int seed) {
    g_state = seed;
}

unsigned int RandState() {
    return g_state;
}

int Rand() {
    g_state = g_state * 214013u + 2531011u;
    return static_cast<int>((g_state >> 16) & 0x7fff);
}

}  // namespace plat
