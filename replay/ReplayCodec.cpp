#include "replay/ReplayCodec.h"

#include <cstring>

#include "platform/compress.h"
#include "platform/digest.h"

namespace replay {
namespace {

constexpr size_t kFrameBytes = sizeof kMagic + 1 + 4;
constexpr uint32_t kTagReadsMore = 31;
constexpr int kTagKindBits = 3;
// Room left in the data for the header, the end and the summary.
constexpr size_t kHeaderRoom = 256;

void PutVarint(std::string& out, uint32_t v) {
    while (v >= 0x80) {
        out += static_cast<char>((v & 0x7F) | 0x80);
        v >>= 7;
    }
    out += static_cast<char>(v);
}

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t Zigzag(int32_t v) {
    return (static_cast<uint32_t>(v) << 1) ^ static_cast<uint32_t>(v >> 31);
}

int32_t Unzigzag(uint32_t v) {
    return static_cast<int32_t>((v >> 1) ^ (0u - (v & 1)));
}

void PutSize(std::string& out, const SSize& s) {
    PutVarint(out, static_cast<uint32_t>(s.cx));
    PutVarint(out, static_cast<uint32_t>(s.cy));
}

std::string HeaderBytes(const SHeader& h) {
    std::string out;
    PutVarint(out, static_cast<uint32_t>(h.strVersion.size()));
    out += h.strVersion;
    PutVarint(out, static_cast<uint32_t>(h.nMode));
    PutSize(out, h.geometry.client);
    for (const SSize& s : h.geometry.pictures)
        PutSize(out, s);
    PutU32(out, h.dwRandState);
    return out;
}

bool PrintableAscii(const std::string& s) {
    for (const char c : s) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

}  // namespace

bool HasKey(EEvent kind) {
    return kind == EV_KEYDOWN || kind == EV_KEYUP || kind == EV_PRETRANSLATE;
}

const char* EventName(EEvent kind) {
    switch (kind) {
        case EV_START:
            return "Start";
        case EV_TICK:
            return "Tick";
        case EV_DRAW:
            return "Draw";
        case EV_KEYDOWN:
            return "OnKeyDown";
        case EV_KEYUP:
            return "OnKeyUp";
        case EV_PRETRANSLATE:
            return "PreTranslateKey";
        case EV_END:
            return "end";
    }
    return "?";
}

const char* ReadStatusText(EReadStatus status) {
    switch (status) {
        case EReadStatus::Ok:
            return "readable";
        case EReadStatus::NotReplay:
            return "not a replay";
        case EReadStatus::OtherFormat:
            return "a replay format this program does not read";
        case EReadStatus::TooLarge:
            return "larger than a replay may be";
        case EReadStatus::Damaged:
            return "damaged";
        case EReadStatus::Truncated:
            return "cut short";
    }
    return "?";
}

// ---- writing ----

bool CReplayWriter::Event(EEvent kind, unsigned nKey, const uint32_t* pReads, size_t nReads) {
    if (nReads > kMaxReadsPerEvent || nKey > kMaxKey ||
        m_strEvents.size() + 16 + 5 * nReads > kMaxDataBytes - kHeaderRoom)
        return false;
    const uint32_t n = static_cast<uint32_t>(nReads);
    const uint32_t tagReads = n < kTagReadsMore ? n : kTagReadsMore;
    m_strEvents += static_cast<char>(kind | (tagReads << kTagKindBits));
    if (tagReads == kTagReadsMore)
        PutVarint(m_strEvents, n - kTagReadsMore);
    if (HasKey(kind))
        PutVarint(m_strEvents, nKey);
    for (size_t i = 0; i < nReads; ++i) {
        PutVarint(m_strEvents, Zigzag(static_cast<int32_t>(pReads[i] - m_dwLast)));
        m_dwLast = pReads[i];
    }
    return true;
}

bool CReplayWriter::Finish(const SHeader& header, const SSummary& summary,
                           std::string& file) const {
    std::string data = HeaderBytes(header);
    data += m_strEvents;
    data += static_cast<char>(EV_END);
    PutVarint(data, static_cast<uint32_t>(summary.nStage));
    PutVarint(data, Zigzag(summary.nScore));
    PutVarint(data, Zigzag(summary.nLives));
    PutU32(data, static_cast<uint32_t>(summary.qwHash));
    PutU32(data, static_cast<uint32_t>(summary.qwHash >> 32));

    std::string packed;
    if (data.size() > kMaxDataBytes || !plat::Deflate(data, packed))
        return false;
    file.assign(kMagic, sizeof kMagic);
    file += static_cast<char>(kFormat);
    PutU32(file, static_cast<uint32_t>(data.size()));
    file += packed;
    return file.size() <= kMaxFileBytes;
}

// ---- reading ----

bool CReplayReader::Fail(EReadStatus status) {
    if (m_status == EReadStatus::Ok)
        m_status = status;
    m_nReadsLeft = 0;
    return false;
}

// Unsigned LEB128 of at most 32 bits in its shortest form: an oversized one,
// or one with a last byte of 0 after others ("85 00" for 5), is damage, so
// that each number has one encoding and each game one file's data.
bool CReplayReader::Varint(uint32_t& v) {
    v = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        if (m_nPos >= m_strData.size())
            return Fail(EReadStatus::Truncated);
        const auto b = static_cast<uint8_t>(m_strData[m_nPos++]);
        if (shift == 28 && (b & 0xF0) != 0)
            return Fail(EReadStatus::Damaged);
        v |= static_cast<uint32_t>(b & 0x7F) << shift;
        if ((b & 0x80) == 0)
            return shift == 0 || b != 0 ? true : Fail(EReadStatus::Damaged);
    }
    return Fail(EReadStatus::Damaged);
}

bool CReplayReader::U32(uint32_t& v) {
    if (m_strData.size() - m_nPos < 4)
        return Fail(EReadStatus::Truncated);
    v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(m_strData[m_nPos++])) << (8 * i);
    return true;
}

bool CReplayReader::ReadSize(SSize& size, int nMax) {
    uint32_t cx = 0;
    uint32_t cy = 0;
    if (!Varint(cx) || !Varint(cy))
        return false;
    if (cx > static_cast<uint32_t>(nMax) || cy > static_cast<uint32_t>(nMax))
        return Fail(EReadStatus::Damaged);
    size.cx = static_cast<int>(cx);
    size.cy = static_cast<int>(cy);
    return true;
}

bool CReplayReader::ReadHeader() {
    uint32_t n = 0;
    if (!Varint(n))
        return false;
    if (n == 0 || n > kMaxVersionLength)
        return Fail(EReadStatus::Damaged);
    if (m_strData.size() - m_nPos < n)
        return Fail(EReadStatus::Truncated);
    m_header.strVersion = m_strData.substr(m_nPos, n);
    m_nPos += n;
    if (!PrintableAscii(m_header.strVersion))
        return Fail(EReadStatus::Damaged);
    uint32_t mode = 0;
    if (!Varint(mode))
        return false;
    if (mode != 1 && mode != 2)
        return Fail(EReadStatus::Damaged);
    m_header.nMode = static_cast<int>(mode);
    if (!ReadSize(m_header.geometry.client, kMaxClientSide))
        return false;
    if (m_header.geometry.client.cx == 0 || m_header.geometry.client.cy == 0)
        return Fail(EReadStatus::Damaged);
    for (SSize& s : m_header.geometry.pictures) {
        if (!ReadSize(s, kMaxPictureSide))
            return false;
    }
    return U32(m_header.dwRandState);
}

EReadStatus CReplayReader::Open(const std::string& file, size_t nMaxFile, size_t nMaxData) {
    *this = CReplayReader();
    if (file.size() < sizeof kMagic || std::memcmp(file.data(), kMagic, sizeof kMagic) != 0)
        return m_status = EReadStatus::NotReplay;
    if (file.size() < kFrameBytes)
        return m_status = EReadStatus::Truncated;
    if (static_cast<uint8_t>(file[sizeof kMagic]) != kFormat)
        return m_status = EReadStatus::OtherFormat;
    if (file.size() > kMaxFileBytes || file.size() > nMaxFile)
        return m_status = EReadStatus::TooLarge;
    uint32_t nData = 0;
    for (int i = 0; i < 4; ++i)
        nData |= static_cast<uint32_t>(static_cast<uint8_t>(file[sizeof kMagic + 1 + i]))
                 << (8 * i);
    // Bounded before anything is inflated: a small file that claims or
    // would give a huge data block is refused.
    if (nData > kMaxDataBytes || nData > nMaxData)
        return m_status = EReadStatus::TooLarge;
    switch (plat::InflateExact(file.data() + kFrameBytes, file.size() - kFrameBytes, nData,
                               m_strData)) {
        case plat::EInflate::Ok:
            break;
        case plat::EInflate::TooLarge:
            return m_status = EReadStatus::TooLarge;
        case plat::EInflate::Truncated:
            return m_status = EReadStatus::Truncated;
        case plat::EInflate::Damaged:
            return m_status = EReadStatus::Damaged;
    }
    ReadHeader();
    return m_status;
}

bool CReplayReader::Next(EEvent& kind, unsigned& nKey) {
    if (m_status != EReadStatus::Ok || m_bEnd)
        return false;
    if (m_nReadsLeft != 0 && !SkipReads())
        return false;
    if (m_nPos >= m_strData.size())
        return Fail(EReadStatus::Truncated);
    const auto tag = static_cast<uint8_t>(m_strData[m_nPos++]);
    kind = static_cast<EEvent>(tag & ((1u << kTagKindBits) - 1));
    uint32_t nReads = tag >> kTagKindBits;
    if (kind == EV_END) {
        if (nReads != 0)
            return Fail(EReadStatus::Damaged);
        m_nEventsEnd = m_nPos - 1;
        m_bEnd = true;
        ReadSummary();
        return false;
    }
    if (kind > EV_PRETRANSLATE)
        return Fail(EReadStatus::Damaged);
    if (nReads == kTagReadsMore) {
        uint32_t more = 0;
        if (!Varint(more))
            return false;
        if (more > kMaxReadsPerEvent - kTagReadsMore)
            return Fail(EReadStatus::Damaged);
        nReads += more;
    }
    uint32_t key = 0;
    if (HasKey(kind) && !Varint(key))
        return false;
    if (key > kMaxKey)
        return Fail(EReadStatus::Damaged);
    nKey = key;
    m_nReadsLeft = nReads;
    return true;
}

bool CReplayReader::NextRead(uint32_t& dwValue) {
    if (m_nReadsLeft == 0)
        return false;
    uint32_t z = 0;
    if (!Varint(z))
        return false;
    --m_nReadsLeft;
    m_dwLast += static_cast<uint32_t>(Unzigzag(z));
    dwValue = m_dwLast;
    return true;
}

bool CReplayReader::SkipReads() {
    uint32_t v = 0;
    while (m_nReadsLeft != 0) {
        if (!NextRead(v))
            return false;
    }
    return true;
}

std::string CReplayReader::GameDigest() const {
    if (!m_bEnd || m_status != EReadStatus::Ok)
        return std::string();
    return plat::Sha256Hex(m_strData.substr(0, m_nEventsEnd));
}

bool CReplayReader::ReadSummary() {
    uint32_t stage = 0;
    uint32_t score = 0;
    uint32_t lives = 0;
    uint32_t lo = 0;
    uint32_t hi = 0;
    if (!Varint(stage) || !Varint(score) || !Varint(lives) || !U32(lo) || !U32(hi))
        return false;
    if (m_nPos != m_strData.size() || stage > 0x7FFFFFFF)
        return Fail(EReadStatus::Damaged);
    m_summary.nStage = static_cast<int>(stage);
    m_summary.nScore = Unzigzag(score);
    m_summary.nLives = Unzigzag(lives);
    m_summary.qwHash = (static_cast<uint64_t>(hi) << 32) | lo;
    return true;
}

}  // namespace replay
