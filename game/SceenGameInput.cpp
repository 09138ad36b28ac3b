// The player's keys: moving the fighter, laser, barrier, leaving the game.
#include "game/SceenGame.h"

// The bodies of the key handlers come next.
void CSceenGame::OnKeyUp(unsigned /*nKey*/) {}
void CSceenGame::OnKeyDown(unsigned /*nKey*/) {}
void CSceenGame::PreTranslateKey(unsigned /*nKey*/) {}
void CSceenGame::MoveFighter(unsigned /*nKey*/) {}
