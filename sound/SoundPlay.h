// A player for up to 400 short sounds addressed by id, loaded at first play.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "sound/SoundVolume.h"
#include "sound/WaveFile.h"

namespace plat {
class CWnd;
}

constexpr long kSoundOk = 0;
constexpr long kSoundFail = static_cast<long>(0x80004005u);
constexpr uint32_t kPlayLooping = 1;
constexpr int kSoundIds = 400;

class CSoundPlay {
public:
    CSoundPlay();
    virtual ~CSoundPlay();
    CSoundPlay(const CSoundPlay&) = delete;
    CSoundPlay& operator=(const CSoundPlay&) = delete;

    bool CreateDevice(plat::CWnd* wnd);
    void AddFile(const std::string& path, unsigned int id);
    bool Play(int id, uint32_t flags);
    void Stop(int id);
    void SetPan(int id, long pan);
    void SetVolume(int id, long volume);
    void SetFrequency(int id, uint32_t value);
    long LoadSound(int id);
    long CreateBuffer(int id, const SWaveFormat& format, std::vector<uint8_t> samples);

    int m_nDeviceKind = 0;  // 0 positional, 1 panned
    std::vector<std::string> m_arrPath;
    std::vector<unsigned int> m_arrId;
    std::unique_ptr<plat::CAudioBuffer> m_pBuffer[kSoundIds];
    plat::CAudioBuffer* m_p3DBuffer[kSoundIds] = {};  // the same buffer, positional only

private:
    bool m_bMadeBuffer = false;  // any buffer at all, so there may be sounds to stop
};

// Spoken clips (the folders voice, no, stage, text, menu, volume and balance
// below sound) follow the player's voice level; every other sound the
// effects' level.
plat::EBus BusOfPath(const std::string& path);

// Plays a sound its owner never places (a voice, a cue) at its own volume.
// The volume memory is shared by id across players, so a hum or a missile on
// the same id may have left it as low as -9600.
void PlayAtOwnVolume(CSoundPlay& sound, int id, uint32_t flags = 0);

// One device per kind for the whole process; never released before exit.
extern std::unique_ptr<plat::CAudioDevice> g_pDirectSound[2];
extern uint32_t g_dwFirstFrequency;
