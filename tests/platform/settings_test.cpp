// The player's settings through the profile store: round trips, first run,
// corrupt and unwritable files.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <fstream>

#include "app/QuibbixReg.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        plat::SetAppName(std::string("settings_") + info->name());
        std::remove(plat::ProfilePath().c_str());
    }
    static std::string FileText() {
        std::string text;
        plat::ReadFile(plat::ProfilePath(), text);
        return text;
    }
};

TEST_F(SettingsTest, FirstRunGivesEmptyStrings) {
    CQuibbixReg reg;
    reg.m_strName = "stale";
    reg.Load();
    EXPECT_EQ(reg.m_strAria, "");
    EXPECT_EQ(reg.m_strName, "");
}

TEST_F(SettingsTest, RoundTripKeepsBlanksJapaneseAndOddCharacters) {
    CQuibbixReg reg;
    reg.m_strAria = "Bosnia and Herzegovina";
    reg.m_strName = "  山田 太郎 = [x] ;#\\n\ttab ";
    reg.Save();

    CQuibbixReg back;
    back.Load();
    EXPECT_EQ(back.m_strAria, reg.m_strAria);
    EXPECT_EQ(back.m_strName, reg.m_strName);
}

TEST_F(SettingsTest, EmptyValuesAreWrittenToo) {
    CQuibbixReg reg;
    reg.m_strAria = "Japan";
    reg.m_strName = "A";
    reg.Save();
    reg.m_strName.clear();
    reg.Save();
    CQuibbixReg back;
    back.Load();
    EXPECT_EQ(back.m_strAria, "Japan");
    EXPECT_EQ(back.m_strName, "");
}

TEST_F(SettingsTest, CorruptFileReadsAsDefaultsAndIsKeptUntilSave) {
    const std::string path = plat::ProfilePath();
    {
        CQuibbixReg reg;
        reg.Save();  // makes the folder
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << "[Settings\nname=\xff\xfe garbage\n\0\0";
    }
    const std::string corrupt = FileText();
    CQuibbixReg reg;
    reg.Load();
    EXPECT_EQ(reg.m_strName, "");
    EXPECT_EQ(reg.m_strAria, "");
    EXPECT_EQ(FileText(), corrupt);  // loading never rewrites

    reg.m_strName = "fresh";
    reg.Save();
    CQuibbixReg back;
    back.Load();
    EXPECT_EQ(back.m_strName, "fresh");
}

TEST_F(SettingsTest, FailedWriteLosesNothingStored) {
    CQuibbixReg reg;
    reg.m_strAria = "Chile";
    reg.m_strName = "kept";
    reg.Save();
    const std::string before = FileText();

    // A full disk: every write past a few bytes fails.
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit tiny = old;
    tiny.rlim_cur = 8;
    auto* const oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    reg.m_strName = std::string(4096, 'x');
    const bool written = plat::WriteProfileString("", "name", reg.m_strName);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(FileText(), before);
    CQuibbixReg back;
    back.Load();
    EXPECT_EQ(back.m_strName, "kept");
    EXPECT_EQ(back.m_strAria, "Chile");
}

TEST_F(SettingsTest, InvalidUtf8IsStoredReadably) {
    CQuibbixReg reg;
    reg.m_strName =
        "ab\xff\xfe"
        "cd";
    reg.Save();
    CQuibbixReg back;
    back.Load();
    EXPECT_EQ(back.m_strName.substr(0, 2), "ab");
    EXPECT_EQ(back.m_strName.substr(back.m_strName.size() - 2), "cd");
}

}  // namespace
