// Stage flow: announcements, stage start, lives and the end of a game.
#include "game/SceenGame.h"

// The bodies of the stage flow come next.
void CSceenGame::StageTransition(int /*nMode*/) {}
void CSceenGame::StageStart() {}
void CSceenGame::ResetFighter() {}
void CSceenGame::FighterLost() {}
void CSceenGame::AnnounceGameOver() {}
