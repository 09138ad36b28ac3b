// Where every hum and flight sound is heard, relative to the fighter.
#include "game/SceenGame.h"

long SoundPan(int /*x*/, int /*cx*/, int /*listenerX*/, int /*cxClient*/) {
    return 0;
}
long UfoHumVolume(int /*x*/, int /*cx*/, int /*listenerX*/, int /*cxClient*/) {
    return 0;
}
uint32_t UfoPitch(int /*y*/, int /*cyClient*/) {
    return 0;
}
uint32_t MissilePitch(int /*y*/, int /*cyClient*/) {
    return 0;
}
void CSceenGame::UpdateUfoSound(CUfo& /*ufo*/, int /*nListenerX*/) {}
void CSceenGame::UpdateMissileSound(CMissile& /*missile*/, int /*nListenerX*/) {}
void CSceenGame::StopAllSounds() {}
void CSceenGame::SpeakNumber(int /*n*/) {}
