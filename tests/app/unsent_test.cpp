// Records kept to be sent again: what is kept comes back whole, however
// strange its name; the oldest beyond the bound go; damaged or foreign files
// are left alone and never offered.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/UnsentRecords.h"
#include "platform/paths.h"

namespace {

namespace fs = std::filesystem;

class UnsentTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strDir = ::testing::TempDir() + "doruzoro_unsent_test." + std::to_string(getpid()) + "/" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(m_strDir);
    }
    void TearDown() override { fs::remove_all(m_strDir); }

    SUnsentRecord Record(int nScore, std::time_t when, const std::string& name = "Ear") const {
        SUnsentRecord rec;
        rec.strAria = "Japan";
        rec.strName = name;
        rec.nLevel = 1;
        rec.nScore = nScore;
        rec.strReplay = "DZREPLAY\x01 replay of " + std::to_string(nScore) + std::string(1, '\0');
        rec.when = when;
        return rec;
    }
    std::string m_strDir;
};

TEST_F(UnsentTest, AKeptRecordComesBackWholeAndGoesWhenForgotten) {
    EXPECT_TRUE(LoadUnsent(m_strDir).empty());  // no folder yet
    const std::string strange = "Na\nme&score=9 %41\t\xe5\xa4\xa9";
    SUnsentRecord rec = Record(1650, 1765000000, strange);
    rec.strAria = "";
    std::string err;
    ASSERT_TRUE(KeepUnsent(m_strDir, rec, err)) << err;
    SUnsentRecord second = Record(40, 1765000000);  // the same second
    ASSERT_TRUE(KeepUnsent(m_strDir, second, err)) << err;
    EXPECT_NE(rec.strStem, second.strStem);

    const std::vector<SUnsentRecord> kept = LoadUnsent(m_strDir);
    ASSERT_EQ(kept.size(), 2u);
    const SUnsentRecord& back = kept[0].nScore == 1650 ? kept[0] : kept[1];
    EXPECT_EQ(back.strName, strange);
    EXPECT_EQ(back.strAria, "");
    EXPECT_EQ(back.nLevel, 1);
    EXPECT_EQ(back.strReplay, rec.strReplay);
    EXPECT_EQ(back.when, rec.when);
    // The replay is a replay file of its own, beside its record.
    std::string bytes;
    EXPECT_TRUE(plat::ReadFile(back.strStem + ".dzr", bytes));
    EXPECT_EQ(bytes, rec.strReplay);

    ForgetUnsent(back);
    ASSERT_EQ(LoadUnsent(m_strDir).size(), 1u);
    EXPECT_EQ(LoadUnsent(m_strDir)[0].nScore, 40);
}

// Twelve digits of time: more than a 32-bit long holds, as on Windows.
TEST_F(UnsentTest, AFarTimeComesBackOnEverySystem) {
    std::string err;
    SUnsentRecord rec = Record(70, static_cast<std::time_t>(999999999999LL));
    ASSERT_TRUE(KeepUnsent(m_strDir, rec, err)) << err;
    const std::vector<SUnsentRecord> kept = LoadUnsent(m_strDir);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(static_cast<long long>(kept[0].when), 999999999999LL);
}

TEST_F(UnsentTest, OnlyTheNewestAreKept) {
    std::string err;
    for (int i = 0; i < static_cast<int>(kUnsentKept) + 3; ++i) {
        SUnsentRecord rec = Record(10 * i, 1765000000 + 60 * i);
        ASSERT_TRUE(KeepUnsent(m_strDir, rec, err)) << err;
    }
    const std::vector<SUnsentRecord> kept = LoadUnsent(m_strDir);
    ASSERT_EQ(kept.size(), kUnsentKept);
    EXPECT_EQ(kept.front().nScore, 30);  // oldest first, the three oldest gone
    size_t nFiles = 0;
    for (const auto& e : fs::directory_iterator(m_strDir))
        nFiles += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(nFiles, 2 * kUnsentKept);
}

TEST_F(UnsentTest, DamagedOrForeignFilesAreLeftAloneAndNeverOffered) {
    std::string err;
    SUnsentRecord good = Record(100, 1765000000);
    ASSERT_TRUE(KeepUnsent(m_strDir, good, err)) << err;
    const auto write = [this](const std::string& name, const std::string& text) {
        std::ofstream(m_strDir + "/" + name, std::ios::binary) << text;
    };
    std::string text;
    ASSERT_TRUE(plat::ReadFile(good.strStem + ".rec", text));
    // A record whose replay was changed, one whose replay is gone, one cut
    // short, a score past the ranking's, a foreign text.
    write("changed.rec", text);
    write("changed.dzr", good.strReplay + "x");
    write("alone.rec", text);
    write("short.rec", text.substr(0, text.size() / 2));
    std::string high = text;
    high.replace(high.find("score=100"), 9, "score=99999999");
    write("high.rec", high);
    write("high.dzr", good.strReplay);
    write("notes.rec", "shopping list\n");
    write("README", "not ours");
    const std::vector<SUnsentRecord> kept = LoadUnsent(m_strDir);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].strStem, good.strStem);
    for (const char* name : {"changed.rec", "alone.rec", "short.rec", "notes.rec", "README"})
        EXPECT_TRUE(fs::exists(m_strDir + "/" + name)) << name;
}

TEST_F(UnsentTest, AFolderThatCannotBeMadeKeepsNothingAndSaysWhy) {
    fs::create_directories(fs::path(m_strDir).parent_path());
    std::ofstream(m_strDir + ".file") << "x";
    SUnsentRecord rec = Record(10, 1765000000);
    std::string err;
    EXPECT_FALSE(KeepUnsent(m_strDir + ".file/unsent", rec, err));
    EXPECT_FALSE(err.empty());
    EXPECT_TRUE(rec.strStem.empty());
    fs::remove(m_strDir + ".file");
}

}  // namespace
