// The replay file: everything that decides a game scene's course and nothing
// else. Its reader takes every byte as hostile.
//
//   file    = "DZREPLAY" | format (1 byte) | size of data (u32 LE) | zlib(data)
//   data    = header | event... | end | summary
//   header  = version (varint length, printable ASCII) | mode | client cx, cy
//             | cx, cy of the UFO, fighter, missile and explosion pictures
//             | state of the random generator (u32 LE)
//   event   = tag | key (key events only) | counter value...
//   tag     = kind in the low 3 bits, number of counter values in the high 5
//             (31: a varint with the number minus 31 follows)
//   value   = zigzag varint of its difference from the value read before it
//   end     = the tag of kind 7 with no values
//   summary = stage | zigzag score | zigzag lives | state hash (u64 LE)
// Numbers are unsigned LEB128 varints in their shortest form unless said
// otherwise: a game has exactly one encoding of its header and events.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace replay {

constexpr char kMagic[8] = {'D', 'Z', 'R', 'E', 'P', 'L', 'A', 'Y'};
constexpr uint8_t kFormat = 1;

// What the host calls on the scene. Start comes first and once.
enum EEvent : uint8_t {
    EV_START = 0,
    EV_TICK = 1,
    EV_DRAW = 2,
    EV_KEYDOWN = 3,
    EV_KEYUP = 4,
    EV_PRETRANSLATE = 5,
    EV_END = 7,
};
bool HasKey(EEvent kind);
const char* EventName(EEvent kind);

// Bounds on what a reader accepts, and so on what a recorder writes.
constexpr size_t kMaxFileBytes = 4u << 20;
constexpr size_t kMaxDataBytes = 32u << 20;
constexpr uint32_t kMaxReadsPerEvent = 1u << 16;
constexpr uint32_t kMaxKey = 0xFFFF;
constexpr int kMaxClientSide = 4096;
constexpr int kMaxPictureSide = 1024;
constexpr size_t kMaxVersionLength = 32;

constexpr int kGeometryPictures = 4;  // UFO, fighter, missile, explosion

struct SSize {
    int cx = 0;
    int cy = 0;
    bool operator==(const SSize& o) const { return cx == o.cx && cy == o.cy; }
    bool operator!=(const SSize& o) const { return !(*this == o); }
};

// The sizes that decide where things are: the client area the objects were
// attached with and the pictures their sizes come from.
struct SGeometry {
    SSize client;
    SSize pictures[kGeometryPictures];
};

struct SHeader {
    std::string strVersion;
    int nMode = 0;  // 1 tutorial, 2 game
    SGeometry geometry;
    uint32_t dwRandState = 0;
};

// How the game stood when the recording ended.
struct SSummary {
    int nStage = 0;
    int nScore = 0;
    int nLives = 0;
    uint64_t qwHash = 0;
};

// Builds a replay event by event.
class CReplayWriter {
public:
    // False (and nothing written) once the data would pass its bound.
    bool Event(EEvent kind, unsigned nKey, const uint32_t* pReads, size_t nReads);
    // The whole file; false when it would be larger than a reader accepts.
    bool Finish(const SHeader& header, const SSummary& summary, std::string& file) const;
    size_t DataSize() const { return m_strEvents.size(); }

private:
    std::string m_strEvents;
    uint32_t m_dwLast = 0;
};

enum class EReadStatus {
    Ok,
    NotReplay,    // no replay's magic
    OtherFormat,  // a format this program does not read
    TooLarge,     // over a bound, or a zlib stream that inflates past its size
    Damaged,      // a value that cannot be, a bad check value, bytes after the end
    Truncated,    // it stops before its end
};
const char* ReadStatusText(EReadStatus status);

// Reads a replay as a stream of events, each followed by its counter values.
class CReplayReader {
public:
    // Checks the frame, inflates the data within its bounds and reads the header.
    // A caller may set tighter bounds than the format's (a server does).
    EReadStatus Open(const std::string& file, size_t nMaxFile = kMaxFileBytes,
                     size_t nMaxData = kMaxDataBytes);
    const SHeader& Header() const { return m_header; }

    // The next event; false at the end (then the summary is read) or on a fault.
    bool Next(EEvent& kind, unsigned& nKey);
    // The current event's next counter value; false when it has no more.
    bool NextRead(uint32_t& dwValue);
    uint32_t ReadsLeft() const { return m_nReadsLeft; }
    // Skips the current event's values.
    bool SkipReads();

    bool AtEnd() const { return m_bEnd; }
    const SSummary& Summary() const { return m_summary; }
    // The SHA-256 (64 lowercase hex digits) of the header and the events as
    // decoded: the game itself, however its file was compressed. Empty until
    // the end was read without a fault.
    std::string GameDigest() const;
    // Ok until a fault is met; a fault ends the stream.
    EReadStatus Status() const { return m_status; }
    size_t Offset() const { return m_nPos; }

private:
    bool Fail(EReadStatus status);
    bool Varint(uint32_t& v);
    bool U32(uint32_t& v);
    bool ReadHeader();
    bool ReadSize(SSize& size, int nMax);
    bool ReadSummary();

    std::string m_strData;
    size_t m_nPos = 0;
    size_t m_nEventsEnd = 0;  // where the end's tag stands
    SHeader m_header;
    SSummary m_summary;
    uint32_t m_nReadsLeft = 0;
    uint32_t m_dwLast = 0;
    bool m_bEnd = false;
    EReadStatus m_status = EReadStatus::Ok;
};

}  // namespace replay
