// Any bytes at all must give a defined result from the replay reader, within
// its bounds; and what it reads whole has one encoding only: written again,
// it gives the same game's digest.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
    replay::CReplayWriter writer;
    bool bWritten = true;
    std::vector<uint32_t> reads;
    while (reader.Next(kind, key)) {
        if (reader.ReadsLeft() > replay::kMaxReadsPerEvent || key > replay::kMaxKey)
            __builtin_trap();
        reads.clear();
        uint32_t v = 0;
        while (reader.NextRead(v))
            reads.push_back(v);
        bWritten = bWritten &&
                   writer.Event(kind, replay::HasKey(kind) ? key : 0, reads.data(), reads.size());
    }
    if (reader.Status() == replay::EReadStatus::Ok && !reader.AtEnd())
        __builtin_trap();
    if (reader.Status() != replay::EReadStatus::Ok) {
        if (!reader.GameDigest().empty())
            __builtin_trap();
        return 0;
    }
    std::string again;
    if (!bWritten || !writer.Finish(h, reader.Summary(), again))
        return 0;  // past what a recorder writes
    replay::CReplayReader second;
    if (second.Open(again) != replay::EReadStatus::Ok)
        __builtin_trap();
    while (second.Next(kind, key)) {
    }
    if (second.GameDigest().size() != 64 || second.GameDigest() != reader.GameDigest())
        __builtin_trap();
    return 0;
}
