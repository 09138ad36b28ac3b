// The player's own keys for the sound, which the windows handle before any
// scene sees them: Page Up and Page Down for the master volume, Home and End
// for the voices' level against the effects'. Each change is spoken and kept
// in the settings; nothing a scene reads or plays changes with them.
#pragma once
#include <string>

#include "sound/SoundPlay.h"

namespace plat {
class CWnd;
}

class CSoundControls {
public:
    static constexpr int kMinVolume = 1;
    static constexpr int kMaxVolume = 10;
    static constexpr int kMaxBalance = 5;  // voices louder by this many steps
    static constexpr long kStepMb = 300;   // 3 dB a step

    // pWnd gets the cue voices' device; strBasePath, the owner's asset base
    // path, holds their files when the first one is said.
    CSoundControls(plat::CWnd* pWnd, const std::string& strBasePath);

    // Reads the levels kept in the settings and applies them.
    void Load();
    // Page Up, Page Down, Home and End.
    static bool IsSoundKey(unsigned vk);
    // Acts on the release of a sound key; its press does nothing.
    void OnKey(unsigned message, unsigned vk);

    void SayPaused();
    void SayResumed();

    int Volume() const { return m_nVolume; }
    int Balance() const { return m_nBalance; }
    // The levels in hundredths of a decibel, as the mixer takes them.
    long MasterMb() const;
    long VoicesMb() const;
    long EffectsMb() const;

private:
    void Change(int nVolume, int nBalance);
    void Apply() const;
    void Say(int id);
    void Register();

    plat::CWnd* m_pWnd;
    const std::string& m_strBasePath;
    int m_nVolume = kMaxVolume;
    int m_nBalance = 0;  // -kMaxBalance (effects louder) .. kMaxBalance (voices louder)
    CSoundPlay m_cues;
    bool m_bRegistered = false;
    int m_idLast = -1;
};
