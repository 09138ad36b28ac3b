// Any bytes at all must give a defined verdict from the verifier. Bytes that
// are not a replay file are taken as its inflated data and framed, so that
// mutations reach the events and the game they drive.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/compress.h"
#include "replay/ReplayCodec.h"
#include "replay/ReplayVerify.h"

namespace {

replay::SGeometry Official() {
    replay::SGeometry g;
    g.client = {732, 570};
    g.pictures[0] = {40, 20};
    g.pictures[1] = {40, 50};
    g.pictures[2] = {10, 50};
    g.pictures[3] = {48, 48};
    return g;
}

std::string Framed(const std::string& data) {
    std::string packed;
    plat::Deflate(data, packed);
    std::string file(replay::kMagic, sizeof replay::kMagic);
    file += static_cast<char>(replay::kFormat);
    for (int i = 0; i < 4; ++i)
        file += static_cast<char>((data.size() >> (8 * i)) & 0xFF);
    return file + packed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const replay::SGeometry official = Official();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (size < sizeof replay::kMagic || std::memcmp(data, replay::kMagic, sizeof replay::kMagic))
        bytes = Framed(bytes);
    replay::SVerifyLimits limits;
    limits.nMaxEvents = 50000;  // a few seconds of fuzzing per long game at most
    const replay::SVerifyResult r = replay::VerifyReplay(bytes, official, limits);
    if (r.verdict == replay::EVerdict::InStep && !r.strReason.empty())
        __builtin_trap();
    if (r.nEvents > limits.nMaxEvents)
        __builtin_trap();
    // A game that ran in step was read whole, so it has its digest; one
    // that could not be read has none.
    if ((r.verdict == replay::EVerdict::InStep && r.strGameDigest.size() != 64) ||
        (r.verdict == replay::EVerdict::Unreadable && r.readStatus != replay::EReadStatus::Ok &&
         !r.strGameDigest.empty()))
        __builtin_trap();
    return 0;
}
