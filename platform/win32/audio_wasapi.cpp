// Sound output through WASAPI in shared mode: a thread of its own, woken by
// the engine for each period, fills the free part of the buffer from our
// mixer. Without an output device the device stays silent and still works.
#include "platform/win32/wide.h"

#include <audioclient.h>
#include <avrt.h>
#include <mmdeviceapi.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/mixer.h"
#include "platform/win32/com.h"

namespace plat {
namespace {

constexpr REFERENCE_TIME kBlock = 100000;  // 10 ms, in 100 ns units

// The sample formats of an extensible wave format (the system's own names
// need a library of GUIDs for two values).
constexpr GUID kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr GUID kSubtypeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// What the thread reports once it has tried the device.
enum class EState { Starting, Ready, Failed };

}  // namespace

struct CAudioDevice::SOutput {
    std::thread thread;
    CHandle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::mutex mutex;
    std::condition_variable changed;
    EState state = EState::Starting;
    int nRate = 0;
    std::shared_ptr<CMixer> pMixer;  // handed over once the rate is known

    ~SOutput() {
        SetEvent(stop.Get());
        {
            const std::lock_guard<std::mutex> lock(mutex);
            state = EState::Failed;  // a thread still waiting for its mixer gives up
        }
        changed.notify_all();
        if (thread.joinable()) {
            thread.join();
        }
    }

    void Report(EState s, int rate = 0) {
        const std::lock_guard<std::mutex> lock(mutex);
        state = s;
        nRate = rate;
        changed.notify_all();
    }

    void Run();
};

namespace {

// The engine's own layout, into which our stereo float frames are written.
struct SLayout {
    int nChannels = 0;
    bool bFloat = false;  // else 16-bit integers
};

bool ReadLayout(const WAVEFORMATEX& f, SLayout& out) {
    out.nChannels = f.nChannels;
    GUID sub = GUID_NULL;
    if (f.wFormatTag == WAVE_FORMAT_EXTENSIBLE && f.cbSize >= 22) {
        sub = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(f).SubFormat;
    }
    const bool isFloat = f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT || IsEqualGUID(sub, kSubtypeFloat);
    const bool isPcm = f.wFormatTag == WAVE_FORMAT_PCM || IsEqualGUID(sub, kSubtypePcm);
    out.bFloat = isFloat && f.wBitsPerSample == 32;
    return f.nChannels >= 1 && (out.bFloat || (isPcm && f.wBitsPerSample == 16));
}

// Stereo frames into the engine's layout: a mono engine gets their mean,
// channels past the second get silence.
void Convert(const float* stereo, UINT32 frames, const SLayout& layout, BYTE* out) {
    for (UINT32 i = 0; i < frames; ++i) {
        const float l = stereo[2 * i];
        const float r = stereo[2 * i + 1];
        for (int c = 0; c < layout.nChannels; ++c) {
            float v = layout.nChannels == 1 ? 0.5f * (l + r) : c == 0 ? l : c == 1 ? r : 0.0f;
            v = v > 1.0f ? 1.0f : v < -1.0f ? -1.0f : v;
            if (layout.bFloat) {
                reinterpret_cast<float*>(out)[i * layout.nChannels + c] = v;
            } else {
                reinterpret_cast<int16_t*>(out)[i * layout.nChannels + c] =
                    static_cast<int16_t>(v * 32767.0f);
            }
        }
    }
}

}  // namespace

void CAudioDevice::SOutput::Run() {
    const CComScope com(COINIT_MULTITHREADED);
    CComPtr<IMMDeviceEnumerator> devices;
    CComPtr<IMMDevice> device;
    CComPtr<IAudioClient> client;
    CComPtr<IAudioRenderClient> render;
    WAVEFORMATEX* mix = nullptr;
    SLayout layout;
    CHandle wake(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    UINT32 bufferFrames = 0;
    const bool ok =
        wake.Valid() &&
        SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                   __uuidof(IMMDeviceEnumerator), devices.OutVoid())) &&
        SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, device.Out())) &&
        SUCCEEDED(
            device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client.OutVoid())) &&
        SUCCEEDED(client->GetMixFormat(&mix)) && ReadLayout(*mix, layout) &&
        SUCCEEDED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                     kBlock, 0, mix, nullptr)) &&
        SUCCEEDED(client->SetEventHandle(wake.Get())) &&
        SUCCEEDED(client->GetBufferSize(&bufferFrames)) &&
        SUCCEEDED(client->GetService(__uuidof(IAudioRenderClient), render.OutVoid()));
    const int rate = mix ? static_cast<int>(mix->nSamplesPerSec) : 0;
    CoTaskMemFree(mix);
    if (!ok || rate <= 0) {
        Report(EState::Failed);
        return;
    }
    Report(EState::Ready, rate);
    std::shared_ptr<CMixer> mixer;
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return pMixer || state == EState::Failed; });
        mixer = pMixer;
    }
    if (!mixer || FAILED(client->Start())) {
        return;
    }
    // The sound card's thread: the system schedules it before ordinary work.
    DWORD task = 0;
    const HANDLE avrt = AvSetMmThreadCharacteristicsW(L"Pro Audio", &task);
    std::vector<float> stereo;
    const HANDLE waits[] = {stop.Get(), wake.Get()};
    while (WaitForMultipleObjects(2, waits, FALSE, 2000) != WAIT_OBJECT_0) {
        UINT32 padding = 0;
        BYTE* data = nullptr;
        if (FAILED(client->GetCurrentPadding(&padding))) {
            break;  // the device went away: silence from here on
        }
        const UINT32 frames = bufferFrames - padding;
        if (frames == 0 || FAILED(render->GetBuffer(frames, &data))) {
            continue;
        }
        stereo.assign(static_cast<size_t>(frames) * 2, 0.0f);
        mixer->Mix(stereo.data(), frames);
        Convert(stereo.data(), frames, layout, data);
        render->ReleaseBuffer(frames, 0);
    }
    client->Stop();
    if (avrt) {
        AvRevertMmThreadCharacteristics(avrt);
    }
}

CAudioDevice::CAudioDevice() = default;

CAudioDevice::~CAudioDevice() {
    m_pOutput.reset();
}

void CAudioDevice::OpenOutput() {
    auto output = std::make_unique<SOutput>();
    if (!output->stop.Valid()) {
        return;
    }
    SOutput* out = output.get();
    output->thread = std::thread([out] { out->Run(); });
    int rate = 0;
    {
        std::unique_lock<std::mutex> lock(out->mutex);
        out->changed.wait(lock, [out] { return out->state != EState::Starting; });
        if (out->state == EState::Ready) {
            rate = out->nRate;
        }
    }
    if (rate <= 0) {
        return;  // no device: the caller's mixer plays to nobody
    }
    auto mixer = std::make_shared<CMixer>(rate);
    {
        const std::lock_guard<std::mutex> lock(out->mutex);
        out->pMixer = mixer;
    }
    out->changed.notify_all();
    m_pMixer = mixer;
    m_pOutput = std::move(output);
}

}  // namespace plat
