// The main window's fixed size. The game's objects take their client size
// from it, so a recorded game is checked against it too.
#pragma once
#include "platform/window.h"

constexpr int kMainDialogWidthDlu = 488;
constexpr int kMainDialogHeightDlu = 351;
constexpr int kMainClientWidth = plat::DluToPixelsX(kMainDialogWidthDlu);
constexpr int kMainClientHeight = plat::DluToPixelsY(kMainDialogHeightDlu);
