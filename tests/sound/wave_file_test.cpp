// The sound file reader's fixed validation order, and files that try to break it.
#include <gtest/gtest.h>

#include "sound/WaveFile.h"
#include "wave_builder.h"

using namespace wavetest;

namespace {
std::string Msg(const std::string& bytes) {
    return ReadWave(bytes).strMessage;
}
const std::string kFmt = Chunk("fmt ", Fmt(1, 1, 22050, 16));
}  // namespace

TEST(WaveFile, ValidFilesLoadWithExtraChunksAnywhere) {
    const auto r = ReadWave(Riff(Chunk("LIST", "odd") + kFmt + Chunk("fact", "abcd") +
                                 Chunk("data", "\x01\x02\x03") + Chunk("LIST", "x")));
    ASSERT_TRUE(r.bOk);
    EXPECT_EQ(r.format.nSamplesPerSec, 22050u);
    EXPECT_EQ(r.format.wBitsPerSample, 16);
    EXPECT_EQ(r.format.cbSize, 0);
    EXPECT_EQ(r.arrData, (std::vector<uint8_t>{1, 2, 3}));
    // Zero channels and zero rates are not the reader's business.
    EXPECT_TRUE(ReadWave(Riff(Chunk("fmt ", Fmt(1, 0, 0, 24)) + Chunk("data", "ab"))).bOk);
    // A zero-byte data chunk reads as an empty sound.
    const auto empty = ReadWave(Riff(kFmt + Chunk("data", "")));
    EXPECT_TRUE(empty.bOk);
    EXPECT_TRUE(empty.arrData.empty());
}

TEST(WaveFile, EachRuleGivesItsMessageInOrder) {
    EXPECT_EQ(ReadWave("").strMessage, "");
    EXPECT_FALSE(ReadWave("RIFF\x04").bOk);
    EXPECT_EQ(ReadWave(std::string("RIFF\x04\0\0\0", 8)).strMessage, "");  // no form type: no chunk
    const auto notWave = ReadWave(std::string("ABCD\x04\0\0\0", 8));
    EXPECT_EQ(notWave.strMessage, "これはWAVファイルではありません");
    EXPECT_EQ(notWave.strCaption, " lol ");
    EXPECT_EQ(Msg(std::string("RIFF\x04\0\0\0AVI ", 12)), "これはWAVファイルではありません");
    EXPECT_EQ(Msg(Riff(Chunk("data", "ab"))), "fmt チャンクが見つかりません");
    EXPECT_EQ(Msg(Riff(kFmt)), "WAVフォーマットの読み込み失敗");  // 18-byte read runs off the end
    EXPECT_EQ(Msg(Riff(Chunk("fmt ", ""))), "WAVフォーマットの読み込み失敗");
    EXPECT_EQ(Msg(Riff(Chunk("fmt ", Fmt(3, 2, 8000, 32)) + Chunk("data", "ab"))),
              "リニアPCMフォーマットを想定しています");
    EXPECT_EQ(Msg(Riff(Chunk("fmt ", Fmt(1, 2, 8000, 16)) + Chunk("data", "ab"))),
              "音源はモノラルである必要があります");
    EXPECT_EQ(Msg(Riff(Chunk("data", "abcd") + kFmt + Chunk("LIST", "ab"))),
              "dataチャンクが見つかりません");
    EXPECT_EQ(ReadWave(Riff(kFmt)).strCaption, "");
}

TEST(WaveFile, FirstFmtChunkIsTheOneUsed) {
    const auto r = ReadWave(Riff(kFmt + Chunk("fmt ", Fmt(1, 2, 8000, 8)) + Chunk("data", "ab")));
    ASSERT_TRUE(r.bOk);
    EXPECT_EQ(r.format.nSamplesPerSec, 22050u);
}

TEST(WaveFile, HugeAndLyingSizesNeverLoopOrReadOutOfBounds) {
    // A chunk size above 2^31 must skip forward past the end, not back.
    std::string lying = "LIST";
    PutU32(lying, 0xFFFFFFF8u);
    EXPECT_EQ(Msg(Riff(lying + kFmt + Chunk("data", "ab"))), "fmt チャンクが見つかりません");
    // A data chunk that claims more than the file holds is zero-filled.
    std::string shortData = "data";
    PutU32(shortData, 6);
    const auto r = ReadWave(Riff(kFmt + shortData + "ab"));
    ASSERT_TRUE(r.bOk);
    EXPECT_EQ(r.arrData, (std::vector<uint8_t>{'a', 'b', 0, 0, 0, 0}));
    // A claim near 2^32 is cut to the limit instead of a 4 GB block.
    std::string huge = "data";
    PutU32(huge, 0xFFFFFFFFu);
    std::string riff = "RIFF";
    PutU32(riff, 0xFFFFFFFFu);
    const auto h = ReadWave(riff + "WAVE" + kFmt + huge + "xy");
    ASSERT_TRUE(h.bOk);
    EXPECT_EQ(h.arrData.size(), kMaxWaveData);
    // Truncated at every length, a good file never reads past its end.
    const std::string good = ToneFile(440, 8000, 20);
    for (size_t n = 0; n < good.size(); ++n)
        ReadWave(good.substr(0, n));
}
