// The Windows services: settings in the registry where the original program
// keeps them, files through UTF-16 paths written whole or not at all, the
// player's data folder and the real clock.
#include <windows.h>
// The system's A/W switches share these names with our services.
#undef GetCurrentDirectory
#undef GetProfileString
#undef WriteProfileString

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/QuibbixReg.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/shell.h"
#include "replay/ReplayFiles.h"

// window.h's message names clash with the system's; this is all it is wanted for.
namespace plat {
std::string ExecutableDir();
}

namespace {

namespace fs = std::filesystem;

std::wstring AppKey(const std::string& app) {
    return L"Software\\koruhaus\\" + std::wstring(app.begin(), app.end());
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strApp = std::string("settings_") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        plat::SetRegistryKey("koruhaus");
        plat::SetAppName(m_strApp);
        RegDeleteTreeW(HKEY_CURRENT_USER, AppKey(m_strApp).c_str());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, AppKey(m_strApp).c_str()); }
    // The value as any other program reads it.
    std::wstring Raw(const wchar_t* name, DWORD* type = nullptr) const {
        wchar_t buf[512] = {};
        DWORD bytes = sizeof buf - sizeof(wchar_t);
        DWORD t = 0;
        const LONG rc = RegGetValueW(HKEY_CURRENT_USER, AppKey(m_strApp).c_str(), name,
                                     RRF_RT_ANY | RRF_NOEXPAND, &t, buf, &bytes);
        if (type)
            *type = t;
        return rc == ERROR_SUCCESS ? std::wstring(buf) : L"<none>";
    }
    std::string m_strApp;
};

TEST_F(RegistryTest, FirstRunGivesEmptyStrings) {
    CQuibbixReg reg;
    reg.m_strName = "stale";
    reg.Load();
    EXPECT_EQ(reg.m_strAria, "");
    EXPECT_EQ(reg.m_strName, "");
    EXPECT_EQ(Raw(L"name"), L"<none>");  // loading writes nothing
}

TEST_F(RegistryTest, ValuesAreStringsInTheApplicationsKey) {
    CQuibbixReg reg;
    reg.m_strAria = "Japan";
    reg.m_strName = "\xe5\xb1\xb1\xe7\x94\xb0 \xe5\xa4\xaa\xe9\x83\x8e";  // 山田 太郎
    reg.Save();
    DWORD type = 0;
    EXPECT_EQ(Raw(L"aria", &type), L"Japan");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Raw(L"name"), L"\u5c71\u7530 \u592a\u90ce");
    EXPECT_EQ(plat::ProfilePath(), "HKEY_CURRENT_USER\\Software\\koruhaus\\" + m_strApp);

    CQuibbixReg back;
    back.Load();
    EXPECT_EQ(back.m_strAria, reg.m_strAria);
    EXPECT_EQ(back.m_strName, reg.m_strName);
}

TEST_F(RegistryTest, EmptyOddAndLongValuesComeBack) {
    CQuibbixReg reg;
    reg.m_strAria = "Bosnia and Herzegovina";
    reg.m_strName = "  = [x] ;#\\n\ttab ";
    reg.Save();
    reg.m_strAria.clear();
    reg.Save();
    CQuibbixReg back;
    back.Load();
    EXPECT_EQ(back.m_strAria, "");
    EXPECT_EQ(back.m_strName, reg.m_strName);

    const std::string longName(5000, 'x');
    ASSERT_TRUE(plat::WriteProfileString("", "name", longName));
    EXPECT_EQ(plat::GetProfileString("", "name", "def"), longName);
}

TEST_F(RegistryTest, IllFormedTextAndForeignValuesReadSafely) {
    ASSERT_TRUE(plat::WriteProfileString("", "name",
                                         "ab\xff\xfe"
                                         "cd"));
    EXPECT_EQ(plat::GetProfileString("", "name", ""),
              "ab\xef\xbf\xbd\xef\xbf\xbd"
              "cd");
    // A number where a string belongs reads as the default, and stays.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, AppKey(m_strApp).c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD number = 7;
    RegSetValueExW(key, L"aria", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    RegCloseKey(key);
    EXPECT_EQ(plat::GetProfileString("", "aria", "def"), "def");
    // A section is a key of its own below the application's.
    ASSERT_TRUE(plat::WriteProfileString("Extra", "v", "1"));
    EXPECT_EQ(plat::GetProfileString("Extra", "v", ""), "1");
    EXPECT_EQ(plat::GetProfileString("", "v", "none"), "none");
}

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                fs::u8path(std::string("doruzoro_files_\xe6\x97\xa5\xe6\x9c\xac_") +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string Path(const std::string& name) const {
        return (m_dir / fs::u8path(name)).u8string();
    }
    static std::string Text(const std::string& path) {
        std::string text;
        return plat::ReadFile(path, text) ? text : "<unreadable>";
    }
    size_t Entries() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(m_dir), {}));
    }
    fs::path m_dir;
};

TEST_F(FilesTest, WholeFilesUnderJapaneseNamesReplaceTheOldOnes) {
    const std::string path = Path("\xe8\xa8\x98\xe9\x8c\xb2.dzr");  // 記録.dzr
    std::string err;
    ASSERT_TRUE(plat::WriteFileAtomically(path, "first", err)) << err;
    ASSERT_TRUE(plat::WriteFileAtomically(path, std::string("sec\0ond", 7), err)) << err;
    EXPECT_EQ(Text(path), std::string("sec\0ond", 7));
    EXPECT_TRUE(plat::FileExists(path));
    EXPECT_FALSE(plat::FileExists(m_dir.u8string()));  // a folder is no file
    EXPECT_EQ(Entries(), 1u);                          // no partial file left
    EXPECT_EQ(plat::PartialFileName("C:/a/b.dzr"), "C:/a/.b.dzr.partial");
}

TEST_F(FilesTest, AFailedWriteSaysWhyAndKeepsTheOldFile) {
    std::string err;
    EXPECT_FALSE(plat::WriteFileAtomically(Path("missing/x.dzr"), "bytes", err));
    EXPECT_FALSE(err.empty());

    const std::string path = Path("held.dzr");
    ASSERT_TRUE(plat::WriteFileAtomically(path, "old", err)) << err;
    // Another program holds the file open without letting it be replaced.
    const HANDLE held = CreateFileW((m_dir / L"held.dzr").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    err.clear();
    EXPECT_FALSE(plat::WriteFileAtomically(path, "new", err));
    EXPECT_FALSE(err.empty());
    CloseHandle(held);
    EXPECT_EQ(Text(path), "old");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(FilesTest, ReplaysAreSavedUnderTheRoamingApplicationData) {
    plat::SetRegistryKey("koruhaus");
    plat::SetAppName("doruzoro");
    wchar_t appData[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH), 0u);
    std::string expected = fs::path(appData).u8string() + "/koruhaus/doruzoro/replays";
    for (char& c : expected)
        c = c == '\\' ? '/' : c;
    EXPECT_EQ(replay::ReplayFolder(), expected);

    std::string saved, err;
    const std::string folder = Path("\xe3\x83\xaa\xe3\x83\x97\xe3\x83\xac\xe3\x82\xa4");
    ASSERT_TRUE(replay::SaveReplay(folder, "bytes", 1700000000, 2, 120, saved, err)) << err;
    EXPECT_EQ(Text(saved), "bytes");
    EXPECT_NE(saved.find("_game_120.dzr"), std::string::npos) << saved;
}

// A program starts with its arguments whole: a path with blanks stays one.
TEST_F(FilesTest, ProgramsStartWithTheirArgumentsWhole) {
    wchar_t cmd[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(cmd, MAX_PATH), 0u);
    const std::string exe = fs::path(cmd).u8string() + "\\cmd.exe";
    const std::string target = (m_dir / fs::u8path("made by it.txt")).u8string();
    ASSERT_TRUE(plat::SpawnProgram(exe, {"/c", "echo", "x", ">", target}));
    for (int i = 0; i < 100 && !plat::FileExists(target); ++i)
        plat::Sleep(50);
    EXPECT_TRUE(plat::FileExists(target));
    EXPECT_FALSE(plat::SpawnProgram(Path("no such program.exe"), {}));
}

TEST(Win32Paths, CurrentAndProgramFoldersUseForwardSlashes) {
    const std::string cwd = plat::GetCurrentDirectory();
    ASSERT_FALSE(cwd.empty());
    EXPECT_EQ(cwd.find('\\'), std::string::npos) << cwd;
    EXPECT_NE(cwd.back(), '/');
    EXPECT_TRUE(plat::FileExists(plat::ExecutableDir() + "/platform_tests.exe"));
}

TEST(Win32Clock, TheRealClockIsTheSystemsTickCount) {
    const uint32_t before = ::GetTickCount();
    const uint32_t ours = plat::GetTickCount();
    EXPECT_LE(ours - before, 50u);
    plat::Sleep(50);
    // The counter moves in steps of up to 16 ms.
    const uint32_t slept = plat::GetTickCount() - ours;
    EXPECT_GE(slept, 34u);
    EXPECT_LT(slept, 1000u);
}

// With a sound card the mixer plays through WASAPI; without one (these tests
// have none unless a PulseAudio server is named) the device works all the
// same and stays silent.
TEST(Win32Sound, TheDeviceWorksWithOrWithoutAnOutput) {
    plat::SetAudioOffline(0);
    const std::unique_ptr<plat::CAudioDevice> device = plat::CAudioDevice::Open();
    ASSERT_TRUE(device);
    EXPECT_GT(device->Rate(), 0);
    const uint8_t pcm[8] = {0, 64, 0, 192, 0, 64, 0, 192};
    const auto buffer = device->CreateBuffer(16, 22050, pcm, sizeof pcm, false);
    ASSERT_TRUE(buffer);
    buffer->Play(true);
    plat::Sleep(50);
    EXPECT_EQ(buffer->GetStatus(), plat::kAudioPlaying | plat::kAudioLooping);
    buffer->Stop();
    EXPECT_EQ(buffer->GetStatus(), 0u);
}

}  // namespace
