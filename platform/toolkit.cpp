#include "platform/toolkit.h"

#include <gtk/gtk.h>

namespace plat {
namespace {
bool g_bReady = false;
int g_nNestedLoops = 0;
}  // namespace

bool InitToolkit(int* argc, char*** argv) {
    if (!g_bReady) {
        g_bReady = gtk_init_check(argc, argv) != FALSE;
    }
    return g_bReady;
}

bool ToolkitReady() {
    return g_bReady;
}

void PumpEvents() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

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
