// What the Win32 window code shares with the rest of this folder: the game's
// main window, which owns every box and dialog. Win32 platform code only.
#pragma once
#include "platform/win32/wide.h"

namespace plat {
namespace win32 {

// The game's main window, or null before it is made and after it is gone.
HWND MainWindowHandle();

// Resource ids: 1-99 belong to the main window (icon, manifest, version),
// 100-999 to the dialogs' resource script.
constexpr int kIconId = 1;

}  // namespace win32
}  // namespace plat
