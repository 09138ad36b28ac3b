#include "sound/SoundPlay.h"

#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "sound/SoundVolume.h"

std::unique_ptr<plat::CAudioDevice> g_pDirectSound[2];
uint32_t g_dwFirstFrequency = 0;

namespace {
bool ValidId(int id) {
    return id >= 0 && id < kSoundIds;
}
// A silent thread (a game re-run nobody hears) neither makes nor uses the
// process's devices, so it never races the thread that plays.
plat::CAudioDevice* Device(int kind) {
    return plat::AudioSilent() ? nullptr : g_pDirectSound[kind].get();
}

// The name between the separator at end and the one before it.
std::string FolderBefore(const std::string& path, size_t end) {
    if (end == std::string::npos || end == 0)
        return std::string();
    const size_t start = path.find_last_of("\\/", end - 1);
    return path.substr(start == std::string::npos ? 0 : start + 1,
                       start == std::string::npos ? end : end - start - 1);
}
}  // namespace

plat::EBus BusOfPath(const std::string& path) {
    const size_t file = path.find_last_of("\\/");
    const std::string folder = FolderBefore(path, file);
    const size_t at = file == std::string::npos || file == 0 ? std::string::npos
                                                             : path.find_last_of("\\/", file - 1);
    if (FolderBefore(path, at) != "sound")
        return plat::EBus::Effects;
    for (const char* voices : {"voice", "no", "stage", "text", "menu", "volume", "balance"}) {
        if (folder == voices)
            return plat::EBus::Voices;
    }
    return plat::EBus::Effects;
}

CSoundPlay::CSoundPlay() = default;

CSoundPlay::~CSoundPlay() {
    if (!m_bMadeBuffer)
        return;  // a silent player: nothing to stop (most of a re-run's)
    for (int id = 0; id < kSoundIds; ++id) {
        if (m_pBuffer[id])
            m_pBuffer[id]->Stop();
        m_pBuffer[id].reset();
        m_p3DBuffer[id] = nullptr;
    }
}

bool CSoundPlay::CreateDevice(plat::CWnd* wnd) {
    if (!wnd)
        return true;
    const int kind = m_nDeviceKind == 1 ? 1 : 0;
    if (plat::AudioSilent())
        return false;
    if (g_pDirectSound[kind])
        return true;
    // Our device has no cooperative level to refuse, and a machine without a
    // sound card still gets a device that plays silently.
    g_pDirectSound[kind] = plat::CAudioDevice::Open();
    return g_pDirectSound[kind] != nullptr;
}

void CSoundPlay::AddFile(const std::string& path, unsigned int id) {
    m_arrPath.push_back(path);
    m_arrId.push_back(id);
}

bool CSoundPlay::Play(int id, uint32_t flags) {
    if (!ValidId(id))
        return false;
    const int kind = m_nDeviceKind == 1 ? 1 : 0;
    if (!m_pBuffer[id] && Device(kind))
        LoadSound(id);
    if (!Device(kind) || !m_pBuffer[id])
        return false;
    plat::CAudioBuffer& b = *m_pBuffer[id];
    if (b.GetStatus() == plat::kAudioPlaying)
        b.Stop();
    b.SetCurrentPosition(0);
    if (id <= 100 && g_soundVolume.m_nCurrent[id] != 0)
        SetVolume(id, g_soundVolume.m_nCurrent[id]);
    b.Play((flags & kPlayLooping) != 0);
    return true;
}

void CSoundPlay::Stop(int id) {
    if (ValidId(id) && m_pBuffer[id])
        m_pBuffer[id]->Stop();
}

void CSoundPlay::SetPan(int id, long pan) {
    if (ValidId(id) && m_pBuffer[id])
        m_pBuffer[id]->SetPan(pan);
}

void CSoundPlay::SetVolume(int id, long volume) {
    if (!ValidId(id))
        return;
    const bool guard = m_nDeviceKind == 1 ? m_pBuffer[id] != nullptr : m_p3DBuffer[id] != nullptr;
    if (!guard || !m_pBuffer[id])
        return;
    m_pBuffer[id]->SetVolume(volume);
    if (id <= 100)
        g_soundVolume.m_nCurrent[id] = volume;
}

void CSoundPlay::SetFrequency(int id, uint32_t value) {
    if (!ValidId(id) || !m_pBuffer[id])
        return;
    if (g_dwFirstFrequency == 0) {
        g_dwFirstFrequency = m_pBuffer[id]->GetFrequency();
        value = g_dwFirstFrequency;
    }
    const double scaled = static_cast<double>(value) * 1.1;
    m_pBuffer[id]->SetFrequency(static_cast<uint32_t>(static_cast<uint64_t>(scaled)));
    plat::Sleep(0);
}

long CSoundPlay::LoadSound(int id) {
    // A silent thread never plays, so it never looks for files either.
    if (plat::AudioSilent())
        return kSoundFail;
    size_t i = 0;
    while (i < m_arrId.size() && m_arrId[i] != static_cast<unsigned int>(id))
        ++i;
    if (i >= m_arrId.size() || i >= m_arrPath.size())
        return kSoundOk;
    const std::string& path = m_arrPath[i];
    if (!SoundFileExists(path))
        return kSoundFail;
    std::string bytes;
    if (!plat::ReadFile(plat::ToFsPath(path), bytes))
        return kSoundFail;
    SWaveResult r = ReadWave(bytes);
    if (!r.bOk) {
        if (!r.strMessage.empty())
            plat::MessageBox(r.strMessage, r.strCaption);
        return kSoundFail;
    }
    return CreateBuffer(id, r.format, std::move(r.arrData));
}

long CSoundPlay::CreateBuffer(int id, const SWaveFormat& format, std::vector<uint8_t> samples) {
    if (!ValidId(id))
        return kSoundFail;
    const int kind = m_nDeviceKind == 1 ? 1 : 0;
    m_pBuffer[id].reset();
    m_p3DBuffer[id] = nullptr;
    plat::CAudioDevice* const device = Device(kind);
    if (!device)
        return kSoundFail;
    size_t i = 0;
    while (i < m_arrId.size() && m_arrId[i] != static_cast<unsigned int>(id))
        ++i;
    const std::string path = i < m_arrPath.size() ? m_arrPath[i] : std::string();
    m_pBuffer[id] =
        device->CreateBuffer(format.wBitsPerSample, format.nSamplesPerSec, samples.data(),
                             samples.size(), kind == 0, BusOfPath(path));
    if (!m_pBuffer[id])
        return kSoundFail;
    m_bMadeBuffer = true;
    if (kind == 1) {
        const size_t slash = path.rfind('\\');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        // The starting attenuation goes to the buffer only: remembering it
        // would overwrite a volume another player set for this id.
        const long v = g_soundVolume.LookupVolume(name);
        if (v != 0)
            m_pBuffer[id]->SetVolume(v);
        return kSoundOk;
    }
    // Positional: the sound sits at the listener, heard centred at full gain.
    m_p3DBuffer[id] = m_pBuffer[id].get();
    SetVolume(id, id <= 100 ? g_soundVolume.m_nCurrent[id] : 0);
    return kSoundOk;
}

void PlayAtOwnVolume(CSoundPlay& sound, int id, uint32_t flags) {
    constexpr int kRemembered =
        static_cast<int>(sizeof g_soundVolume.m_nCurrent / sizeof g_soundVolume.m_nCurrent[0]);
    // The volume memory is the playing thread's; a silent one leaves it be.
    if (id >= 0 && id < kRemembered && !plat::AudioSilent())
        g_soundVolume.m_nCurrent[id] = 0;
    sound.Play(id, flags);
}
