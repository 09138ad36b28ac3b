// Any bytes at all must give a defined result from the replay reader, within
// its bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "replay/ReplayCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    replay::CReplayReader reader;
    if (reader.Open(std::string(reinterpret_cast<const char*>(data), size)) !=
        replay::EReadStatus::Ok)
        return 0;
    const replay::SHeader& h = reader.Header();
    if (h.nMode < 1 || h.nMode > 2 || h.geometry.client.cx > replay::kMaxClientSide ||
        h.strVersion.size() > replay::kMaxVersionLength)
        __builtin_trap();
    replay::EEvent kind;
    unsigned key = 0;
    while (reader.Next(kind, key)) {
        if (reader.ReadsLeft() > replay::kMaxReadsPerEvent || key > replay::kMaxKey)
            __builtin_trap();
        uint32_t v = 0;
        while (reader.NextRead(v)) {
        }
    }
    if (reader.Status() == replay::EReadStatus::Ok && !reader.AtEnd())
        __builtin_trap();
    return 0;
}
