#include "app/SoundControls.h"

#include <cstdlib>

#include "platform/audio.h"
#include "platform/keys.h"
#include "platform/profile.h"
#include "platform/window.h"

namespace {

// Above 100, so the cues have no part in the volume memory that the scenes'
// sounds share by id.
constexpr int kPauseId = 101;
constexpr int kResumeId = 102;
constexpr int kVolumeIds = 110;   // + the level, 1 to 10
constexpr int kBalanceIds = 130;  // + the balance, -5 to 5

int ReadLevel(const char* entry, int nDefault, int nMin, int nMax) {
    const std::string text = plat::GetProfileString("", entry, "");
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < nMin || n > nMax)
        return nDefault;  // missing or damaged: the level the game always had
    return static_cast<int>(n);
}

}  // namespace

CSoundControls::CSoundControls(plat::CWnd* pWnd, const std::string& strBasePath)
    : m_pWnd(pWnd), m_strBasePath(strBasePath) {
    m_cues.m_nDeviceKind = 0;  // centred, on the menu's device: never paused
}

void CSoundControls::Load() {
    m_nVolume = ReadLevel("volume", kMaxVolume, kMinVolume, kMaxVolume);
    m_nBalance = ReadLevel("balance", 0, -kMaxBalance, kMaxBalance);
    Apply();
}

bool CSoundControls::IsSoundKey(unsigned vk) {
    return vk == plat::VK_PRIOR || vk == plat::VK_NEXT || vk == plat::VK_HOME || vk == plat::VK_END;
}

void CSoundControls::OnKey(unsigned message, unsigned vk) {
    if (message != plat::WM_KEYUP)
        return;
    switch (vk) {
        case plat::VK_PRIOR:
            Change(m_nVolume + 1, m_nBalance);
            Say(kVolumeIds + m_nVolume);
            break;
        case plat::VK_NEXT:
            Change(m_nVolume - 1, m_nBalance);
            Say(kVolumeIds + m_nVolume);
            break;
        case plat::VK_HOME:
            Change(m_nVolume, m_nBalance + 1);
            Say(kBalanceIds + m_nBalance);
            break;
        case plat::VK_END:
            Change(m_nVolume, m_nBalance - 1);
            Say(kBalanceIds + m_nBalance);
            break;
        default:
            break;
    }
}

// At either end the level stays and is said again, as the menu does.
void CSoundControls::Change(int nVolume, int nBalance) {
    if (nVolume < kMinVolume)
        nVolume = kMinVolume;
    if (nVolume > kMaxVolume)
        nVolume = kMaxVolume;
    if (nBalance < -kMaxBalance)
        nBalance = -kMaxBalance;
    if (nBalance > kMaxBalance)
        nBalance = kMaxBalance;
    if (nVolume == m_nVolume && nBalance == m_nBalance)
        return;
    m_nVolume = nVolume;
    m_nBalance = nBalance;
    Apply();
    // Kept at once: a level is the player's, whatever ends the program.
    plat::WriteProfileString("", "volume", std::to_string(m_nVolume));
    plat::WriteProfileString("", "balance", std::to_string(m_nBalance));
}

long CSoundControls::MasterMb() const {
    return -kStepMb * (kMaxVolume - m_nVolume);
}

long CSoundControls::VoicesMb() const {
    return m_nBalance < 0 ? kStepMb * m_nBalance : 0;
}

long CSoundControls::EffectsMb() const {
    return m_nBalance > 0 ? -kStepMb * m_nBalance : 0;
}

void CSoundControls::Apply() const {
    plat::SetOutputLevels(MasterMb(), VoicesMb(), EffectsMb());
}

void CSoundControls::SayPaused() {
    Say(kPauseId);
}

void CSoundControls::SayResumed() {
    Say(kResumeId);
}

void CSoundControls::Register() {
    m_bRegistered = true;
    const std::string voice = m_strBasePath + "\\sound\\voice\\";
    m_cues.AddFile(voice + "Pause.kwv", kPauseId);
    m_cues.AddFile(voice + "Resume.kwv", kResumeId);
    for (int n = kMinVolume; n <= kMaxVolume; ++n)
        m_cues.AddFile(m_strBasePath + "\\sound\\volume\\" + std::to_string(n) + ".kwv",
                       static_cast<unsigned>(kVolumeIds + n));
    const std::string balance = m_strBasePath + "\\sound\\balance\\";
    m_cues.AddFile(balance + "even.kwv", kBalanceIds);
    for (int n = 1; n <= kMaxBalance; ++n) {
        m_cues.AddFile(balance + "voices" + std::to_string(n) + ".kwv",
                       static_cast<unsigned>(kBalanceIds + n));
        m_cues.AddFile(balance + "effects" + std::to_string(n) + ".kwv",
                       static_cast<unsigned>(kBalanceIds - n));
    }
}

// A new cue cuts the one before, so quick presses never pile up.
void CSoundControls::Say(int id) {
    if (!m_bRegistered)
        Register();
    m_cues.CreateDevice(m_pWnd);
    if (m_idLast >= 0 && m_idLast != id)
        m_cues.Stop(m_idLast);
    m_idLast = id;
    m_cues.Play(id, 0);
}
