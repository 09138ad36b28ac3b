// Painting the playfield into the host window.
#include "game/SceenGame.h"

// The body of the drawing comes next.
void CSceenGame::Draw() {}
