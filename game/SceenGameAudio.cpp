// Where every hum and flight sound is heard, relative to the fighter:
// pan for left or right, volume for the sideways distance, pitch for height.
#include <cstdint>
#include <cstdlib>

#include "game/SceenGame.h"

namespace {

int SidewaysDistance(int x, int cx, int listenerX) {
    return std::abs(listenerX - (x + cx / 2));
}

// y × scale / cyClient in 64 bits: a UFO that keeps sweeping below the field
// grows its y without bound. A rate out of range is refused by the player.
uint32_t Pitch(int y, int cyClient, int64_t scale) {
    if (cyClient <= 0)
        return 0;
    const int64_t v = static_cast<int64_t>(y) * scale / cyClient;
    return static_cast<uint32_t>(v > INT32_MAX ? INT32_MAX : v);
}

// A sound that never loaded (a silent re-run, a missing file) takes no
// placement: each call would leave it as it is.
bool Loaded(const CSoundPlay& sound, int id) {
    return id >= 0 && id < kSoundIds && sound.m_pBuffer[id];
}

}  // namespace

long SoundPan(int x, int cx, int listenerX, int cxClient) {
    const int64_t d = static_cast<int64_t>(listenerX) - (x + cx / 2);
    const int64_t h = cxClient / 2;
    if (d == 0 || h <= 0)
        return 0;
    const int64_t a = d > 0 ? d : -d;
    const int64_t pan = kPanFull * a / h;
    return static_cast<long>(d > 0 ? -pan : pan);
}

long UfoHumVolume(int x, int cx, int listenerX, int cxClient) {
    const int a = SidewaysDistance(x, cx, listenerX);
    if (static_cast<double>(a) <= 2.0 * cxClient / 3.0)
        return -10L * a;
    return kVolumeNearlySilent;
}

uint32_t UfoPitch(int y, int cyClient) {
    return Pitch(y, cyClient, 100000);
}

uint32_t MissilePitch(int y, int cyClient) {
    return Pitch(y, cyClient, 140000);
}

void CSceenGame::UpdateUfoSound(CUfo& ufo, int nListenerX) {
    if (ufo.nState != OS_ALIVE || !Loaded(ufo.sound, ufo.idHum))
        return;
    ufo.sound.SetPan(ufo.idHum, SoundPan(ufo.x, ufo.cx, nListenerX, ufo.cxClient));
    // A y above the field (negative) is no rate at all: leave the pitch.
    if (ufo.y >= 0)
        ufo.sound.SetFrequency(ufo.idHum, UfoPitch(ufo.y, ufo.cyClient));
    ufo.sound.SetVolume(ufo.idHum, UfoHumVolume(ufo.x, ufo.cx, nListenerX, ufo.cxClient));
}

void CSceenGame::UpdateMissileSound(CMissile& missile, int nListenerX) {
    if (missile.nState != OS_ALIVE ||
        (!Loaded(missile.sound, missile.idFlight) && !Loaded(missile.sound, missile.idPinch)))
        return;
    const long pan = SoundPan(missile.x, missile.cx, nListenerX, missile.cxClient);
    missile.sound.SetPan(missile.idFlight, pan);
    missile.sound.SetPan(missile.idPinch, pan);
    missile.sound.SetVolume(missile.idPinch, kVolumeNearlySilent);
    missile.sound.SetVolume(missile.idFlight, kVolumeNearlySilent);
    const int a = SidewaysDistance(missile.x, missile.cx, nListenerX);
    const bool pinch = a < 100 && missile.y > (missile.cyClient / 5) * 3;
    missile.sound.SetVolume(pinch ? missile.idPinch : missile.idFlight, -10L * a);
}

void CSceenGame::StopAllSounds() {
    for (int id = 0; id < m_nSoundCount && id < kSoundIds; ++id)
        m_sound.Stop(id);
    m_fighter.StopSounds();
    m_laser.StopSounds();
    m_barrier.StopSounds();
    for (const auto& ufo : m_arrUfos)
        ufo->StopSounds();
    for (const auto& missile : m_arrMissiles)
        missile->StopSounds();
}

void CSceenGame::SpeakNumber(int n) {
    // Only 300 number voices exist; anything else stays silent.
    if (n >= 1 && n <= kNumberVoices)
        m_sound.Play(m_idNumber[n - 1], 0);
}
