// One tick of the game: UFOs, missiles, laser, barrier and the fighter.
#include "game/SceenGame.h"

void CSceenGame::Tick() {}
void CSceenGame::MoveUfo(CUfo& /*ufo*/) {}
void CSceenGame::SpawnUfo() {}
void CSceenGame::TrySpawn() {}
void CSceenGame::FireMissile(int /*ux*/, int /*uy*/) {}
void CSceenGame::MoveMissile(CMissile& /*missile*/) {}
bool CSceenGame::FireLaser(int /*nCentreX*/, int /*nBottomY*/) {
    return false;
}
bool CSceenGame::IsLaserOn() {
    return false;
}
void CSceenGame::RaiseBarrier() {}
