// Builds RIFF sound files byte by byte, good and broken, for tests and seeds.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace wavetest {

// Not every C library defines M_PI in standard mode.
constexpr double kPi = 3.14159265358979323846;

inline void PutU32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void PutU16(std::string& s, uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}

inline std::string Chunk(const char* id, const std::string& body, bool pad = true) {
    std::string s(id, 4);
    PutU32(s, static_cast<uint32_t>(body.size()));
    s += body;
    if (pad && (body.size() & 1))
        s.push_back('\0');
    return s;
}

inline std::string Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    std::string s;
    PutU16(s, tag);
    PutU16(s, channels);
    PutU32(s, rate);
    PutU32(s, rate * channels * bits / 8);
    PutU16(s, static_cast<uint16_t>(channels * bits / 8));
    PutU16(s, bits);
    return s;  // the usual 16-byte PCM form
}

inline std::string Riff(const std::string& chunks) {
    std::string s = "RIFF";
    PutU32(s, static_cast<uint32_t>(4 + chunks.size()));
    return s + "WAVE" + chunks;
}

// 16-bit mono samples of a sine tone.
inline std::string Sine16(double hz, uint32_t rate, size_t frames, double amp = 0.5) {
    std::string s;
    for (size_t i = 0; i < frames; ++i) {
        const double v = amp * std::sin(2 * kPi * hz * static_cast<double>(i) / rate);
        PutU16(s, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767))));
    }
    return s;
}

inline std::string ToneFile(double hz, uint32_t rate, size_t frames, double amp = 0.5) {
    return Riff(Chunk("fmt ", Fmt(1, 1, rate, 16)) + Chunk("data", Sine16(hz, rate, frames, amp)));
}

// A handful of good and broken files for a fuzzer's seed corpus.
inline std::vector<std::string> SeedFiles() {
    std::string huge = "RIFF";
    PutU32(huge, 0xFFFFFFF0u);
    huge += "WAVE";
    huge += "LIST";
    PutU32(huge, 0x80000001u);
    return {ToneFile(440, 8000, 64),
            Riff(Chunk("LIST", "abc") + Chunk("fmt ", Fmt(1, 1, 11025, 8)) +
                 Chunk("data", std::string(33, '\x80'))),
            Riff(Chunk("fmt ", Fmt(1, 2, 8000, 16)) + Chunk("data", "abcd")),
            Riff(Chunk("fmt ", "")),
            huge,
            "ID3\x03not a wave"};
}

}  // namespace wavetest
