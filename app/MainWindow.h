// The main window's fixed size: the dialog's units, and the client area in
// pixels that the game field and the replays take from it.
#pragma once
#include "game/ClientSize.h"
#include "platform/window.h"

constexpr int kMainDialogWidthDlu = 488;
constexpr int kMainDialogHeightDlu = 351;
static_assert(plat::DluToPixelsX(kMainDialogWidthDlu) == kMainClientWidth &&
                  plat::DluToPixelsY(kMainDialogHeightDlu) == kMainClientHeight,
              "the dialog's units give the game field's size");
