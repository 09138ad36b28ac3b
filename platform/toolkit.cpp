#include "platform/toolkit.h"

namespace plat {
namespace {
int g_nNestedLoops = 0;
}  // namespace

CNestedLoop::CNestedLoop() {
    ++g_nNestedLoops;
}

CNestedLoop::~CNestedLoop() {
    --g_nNestedLoops;
}

bool InNestedLoop() {
    return g_nNestedLoops > 0;
}

}  // namespace plat
