// Any upload with any claimed level and score gets a defined answer from the
// server's checker. The first byte picks the level and whether the rest is a
// whole file or its inflated data (framed here, so that mutations reach the
// events); the next two give the score.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/compress.h"
#include "server/ReplayCheck.h"

namespace {

const CReplayChecker& Checker() {
    static const std::unique_ptr<CReplayChecker> checker = [] {
        replay::SGeometry g;
        g.client = {732, 570};
        g.pictures[0] = {40, 20};
        g.pictures[1] = {40, 50};
        g.pictures[2] = {10, 50};
        g.pictures[3] = {48, 48};
        std::string err;
        return CReplayChecker::Create(g, 1, 1, SCheckLimits(), err);
    }();
    return *checker;
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
    if (size < 3)
        return 0;
    const int nLevel = (data[0] & 3) == 3 ? -1 : data[0] & 3;  // 2 and -1: no such level
    const int nScore = data[1] | (data[2] << 8);
    std::string bytes(reinterpret_cast<const char*>(data) + 3, size - 3);
    if (data[0] & 4)
        bytes = Framed(bytes);
    const SCheckResult r = Checker().CheckNow(bytes, nLevel, nScore);
    if (r.bVerified != r.strReason.empty())
        __builtin_trap();
    if (r.bVerified && (nLevel != 0 && nLevel != 1))
        __builtin_trap();
    // Every verified replay is claimed by its game's digest.
    if (r.bVerified && r.strGameDigest.size() != 64)
        __builtin_trap();
    return 0;
}
