// The C runtime's random generator, reproduced exactly so that a seed gives
// the same game here as on the original platform. The state is the calling
// thread's own: a seed on one thread leaves every other thread's sequence alone.
#pragma once

namespace plat {

constexpr int RAND_MAX_VALUE = 0x7fff;

void Srand(unsigned int seed);
int Rand();  // 0..32767
// The generator's whole state: Srand(RandState()) continues the sequence.
unsigned int RandState();

}  // namespace plat
