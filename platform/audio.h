// Our software mixer: a device that mixes mono sound buffers to stereo
// float and plays them through the sound card, or renders offline for tests.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

class CMixer;
struct CVoice;

// Status bits, as the sound player reads them.
constexpr uint32_t kAudioPlaying = 1;
constexpr uint32_t kAudioLooping = 4;

// One mono PCM sound. All calls are for the user-interface thread.
class CAudioBuffer {
public:
    ~CAudioBuffer();  // stops the sound
    // Range checks refuse the value and keep the old one (false).
    bool SetVolume(long mB);         // -10000..0 hundredths of a decibel
    bool SetPan(long mB);            // -10000..10000; refused on positional buffers
    bool SetFrequency(uint32_t hz);  // 100..200000, 0 = the sound's own rate
    uint32_t GetFrequency() const;
    uint32_t GetStatus() const;
    void SetCurrentPosition(uint32_t frame);
    void Play(bool looping);
    void Stop();

private:
    friend class CAudioDevice;
    CAudioBuffer(std::shared_ptr<CMixer> mixer, CVoice* voice);
    std::shared_ptr<CMixer> m_pMixer;
    CVoice* m_pVoice;
};

class CAudioDevice {
public:
    ~CAudioDevice();
    // Opens the default output; without a usable card the device still
    // works and stays silent.
    static std::unique_ptr<CAudioDevice> Open();
    // A device that never touches the card; Render pulls its output.
    static std::unique_ptr<CAudioDevice> OpenOffline(int rate);

    // bits 8 (unsigned) or 16 (signed little-endian); nullptr when refused.
    std::unique_ptr<CAudioBuffer> CreateBuffer(int bits, uint32_t rate, const uint8_t* data,
                                               size_t bytes, bool positional);
    // Interleaved stereo float frames (offline devices only; a no-op otherwise).
    void Render(float* out, size_t frames);
    int Rate() const;

private:
    CAudioDevice();
    // The implementation's output to the card. Without a card it leaves
    // m_pOutput empty and the device plays silently.
    void OpenOutput();
    struct SOutput;
    std::shared_ptr<CMixer> m_pMixer;
    std::unique_ptr<SOutput> m_pOutput;
};

// While set, Open() gives offline devices at this rate (tests); 0 clears.
void SetAudioOffline(int rate);
// While set, Open() gives no device at all, so nothing is loaded or played
// (a game re-run without anyone listening). Returns the setting before.
// The setting is the calling thread's own.
bool SetAudioSilent(bool silent);
bool AudioSilent();

// Writes interleaved stereo float frames as a 16-bit WAV file.
bool WriteWav(const std::string& path, const std::vector<float>& stereo, int rate);

}  // namespace plat
