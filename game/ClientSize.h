// The game field's fixed size in pixels: the main window's client area. The
// game's objects take their field from it and a replay records it, so it is
// the same on every system, whatever its fonts or its DPI.
#pragma once

constexpr int kMainClientWidth = 732;
constexpr int kMainClientHeight = 570;
