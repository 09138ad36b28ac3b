// Reads a ".kwv" sound: a RIFF WAVE file of mono linear PCM.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SWaveFormat {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};

struct SWaveResult {
    bool bOk = false;
    std::string strMessage;  // empty when the failure is silent
    std::string strCaption;
    SWaveFormat format;
    std::vector<uint8_t> arrData;
};

// A data chunk claiming more than this is cut here, zero-filled past the file.
constexpr uint32_t kMaxWaveData = 64u << 20;

// Validates the bytes of a whole file in the reader's fixed order.
SWaveResult ReadWave(const std::string& bytes);

// Finds the file unchanged, then all upper case, then all lower case.
bool SoundFileExists(const std::string& path);
