#include "sound/WaveFile.h"

#include <algorithm>
#include <cstring>

#include "platform/paths.h"

namespace {

// A read-only RIFF walker over the file's bytes. Positions are 64-bit so a
// chunk size near 2^32 only ever moves forward and past the end.
class CRiffReader {
public:
    explicit CRiffReader(const std::string& bytes) : m_bytes(bytes) {}

    struct SChunk {
        char id[4];
        uint32_t size;
        uint64_t dataStart;
    };

    bool ReadU32(uint64_t at, uint32_t& v) const {
        uint8_t b[4];
        if (Read(at, b, 4) != 4)
            return false;
        v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
        return true;
    }

    size_t Read(uint64_t at, void* out, size_t n) const {
        if (n == 0 || at >= m_bytes.size())
            return 0;
        const size_t got = std::min<uint64_t>(n, m_bytes.size() - at);
        std::memcpy(out, m_bytes.data() + at, got);
        return got;
    }

    bool Header(uint64_t at, SChunk& c) const {
        if (Read(at, c.id, 4) != 4 || !ReadU32(at + 4, c.size))
            return false;
        c.dataStart = at + 8;
        return true;
    }

    // Finds the chunk with this id among those from `from` up to `end`.
    bool Find(const char* id, uint64_t from, uint64_t end, SChunk& c) const {
        uint64_t at = from;
        while (at + 8 <= end && Header(at, c)) {
            if (std::memcmp(c.id, id, 4) == 0)
                return true;
            at = c.dataStart + c.size + (c.size & 1u);
        }
        return false;
    }

    size_t Size() const { return m_bytes.size(); }

private:
    const std::string& m_bytes;
};

SWaveResult Fail(const char* message, const char* caption = "") {
    SWaveResult r;
    r.strMessage = message;
    r.strCaption = caption;
    return r;
}

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t U32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string MapCase(std::string s, bool upper) {
    for (char& c : s) {
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (!upper && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

}  // namespace

bool SoundFileExists(const std::string& path) {
    return plat::FileExists(plat::ToFsPath(path)) ||
           plat::FileExists(plat::ToFsPath(MapCase(path, true))) ||
           plat::FileExists(plat::ToFsPath(MapCase(path, false)));
}

SWaveResult ReadWave(const std::string& bytes) {
    const CRiffReader rd(bytes);
    CRiffReader::SChunk riff;
    char form[4];
    if (!rd.Header(0, riff))
        return SWaveResult{};
    const bool isRiff = std::memcmp(riff.id, "RIFF", 4) == 0;
    // Only a RIFF chunk carries a form type; without one there is no chunk.
    if (isRiff && rd.Read(8, form, 4) != 4)
        return SWaveResult{};
    if (!isRiff || std::memcmp(form, "WAVE", 4) != 0) {
        return Fail("これはWAVファイルではありません", " lol ");
    }
    const uint64_t riffEnd = riff.dataStart + riff.size;
    CRiffReader::SChunk fmt;
    if (!rd.Find("fmt ", 12, riffEnd, fmt))
        return Fail("fmt チャンクが見つかりません");
    // The 18-byte format may run into the next chunk's header, as a 16-byte
    // chunk does; only the end of the file stops it.
    uint8_t f[18];
    if (rd.Read(fmt.dataStart, f, 18) != 18)
        return Fail("WAVフォーマットの読み込み失敗");
    SWaveResult r;
    r.format.wFormatTag = U16(f);
    r.format.nChannels = U16(f + 2);
    r.format.nSamplesPerSec = U32(f + 4);
    r.format.nAvgBytesPerSec = U32(f + 8);
    r.format.nBlockAlign = U16(f + 12);
    r.format.wBitsPerSample = U16(f + 14);
    r.format.cbSize = 0;
    if (r.format.wFormatTag != 1)
        return Fail("リニアPCMフォーマットを想定しています");
    if (r.format.nChannels > 1)
        return Fail("音源はモノラルである必要があります");
    const uint64_t afterFmt = fmt.dataStart + fmt.size + (fmt.size & 1u);
    CRiffReader::SChunk data;
    if (!rd.Find("data", afterFmt, riffEnd, data))
        return Fail("dataチャンクが見つかりません");
    // A size beyond the file is zero-filled; a huge one is cut to a sane limit.
    const uint32_t size = std::min(data.size, kMaxWaveData);
    r.arrData.assign(size, 0);
    rd.Read(data.dataStart, r.arrData.data(), size);
    r.bOk = true;
    return r;
}
