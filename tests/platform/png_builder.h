// Small PNG files built in memory, for the headless picture reader's tests
// and its fuzzer's seeds.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <string>

namespace pngtest {

inline void Put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xff);
}

inline void Chunk(std::string& out, const char* type, const std::string& data) {
    Put32(out, static_cast<uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    out += body;
    Put32(out, static_cast<uint32_t>(
                   crc32(0L, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

// A black RGB picture of cx by cy pixels.
inline std::string Png(uint32_t cx, uint32_t cy) {
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    Put32(ihdr, cx);
    Put32(ihdr, cy);
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    Chunk(out, "IHDR", ihdr);
    const std::string raw(static_cast<size_t>(cy) * (1 + 3 * static_cast<size_t>(cx)), '\0');
    uLongf packed = compressBound(raw.size());
    std::string idat(packed, '\0');
    compress(reinterpret_cast<Bytef*>(&idat[0]), &packed,
             reinterpret_cast<const Bytef*>(raw.data()), raw.size());
    idat.resize(packed);
    Chunk(out, "IDAT", idat);
    Chunk(out, "IEND", std::string());
    return out;
}

}  // namespace pngtest
