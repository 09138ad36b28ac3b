// Any bytes at all must give a defined result from the sound file reader.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sound/WaveFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const SWaveResult r = ReadWave(std::string(reinterpret_cast<const char*>(data), size));
    if (r.bOk && (r.format.nChannels > 1 || r.format.wFormatTag != 1))
        __builtin_trap();
    if (r.arrData.size() > kMaxWaveData)
        __builtin_trap();
    return 0;
}
