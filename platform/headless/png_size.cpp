#include "platform/headless/png_size.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>

namespace plat {
namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr uint32_t kMaxSide = 65535;

uint32_t BigEndian32(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool CrcMatches(const unsigned char* pType, uint32_t nLength) {
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), pType, 4 + nLength);
    return crc == BigEndian32(pType + 4 + nLength);
}

}  // namespace

bool PngSize(const unsigned char* pData, size_t nSize, int& cx, int& cy) {
    if (!pData || nSize < sizeof kSignature || std::memcmp(pData, kSignature, 8) != 0)
        return false;
    size_t pos = sizeof kSignature;
    bool bHeader = false, bData = false;
    uint32_t w = 0, h = 0;
    while (nSize - pos >= 12) {
        const uint32_t len = BigEndian32(pData + pos);
        if (len > nSize - pos - 12)
            return false;
        const unsigned char* type = pData + pos + 4;
        if (!CrcMatches(type, len))
            return false;
        const bool bIhdr = std::memcmp(type, "IHDR", 4) == 0;
        if (bIhdr != !bHeader)
            return false;  // IHDR first and only once
        if (bIhdr) {
            if (len != 13)
                return false;
            w = BigEndian32(type + 4);
            h = BigEndian32(type + 8);
            bHeader = true;
        }
        bData = bData || std::memcmp(type, "IDAT", 4) == 0;
        pos += 12 + len;
        if (std::memcmp(type, "IEND", 4) == 0) {
            if (pos != nSize || !bData || w == 0 || h == 0 || w > kMaxSide || h > kMaxSide)
                return false;
            cx = static_cast<int>(w);
            cy = static_cast<int>(h);
            return true;
        }
    }
    return false;
}

}  // namespace plat
