// The real registration dialog and credentials prompt under Wine: what a
// screen reader learns of them through MSAA, and what the keyboard alone does
// with them. The keys are posted from a second thread to the control that has
// the focus, through the dialog's own loop, as the keyboard's would be; the
// record so made goes to the ranking server named in DORUZORO_RANKING_HOST.
// Run by dialogs.sh, which starts Xvfb and the server.
// Ours first: the system's headers make macros of their names.
#include "http/KoruHttpConnect.h"
#include "platform/native.h"
#include "platform/sendnet.h"
#include "platform/window.h"
#include "ranking/AreaList.h"
#include "ranking/DlgSendNet.h"
#include "ranking/Ranking.h"

#include "platform/win32/dialog_ids.h"
#include "platform/win32/wide.h"
#include "platform/win32/window_internal.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using plat::Narrow;
using plat::Wide;

const wchar_t kSendNetCaption[] = L"Do you register a record with a net?";

// Waits up to ten seconds for what fnReady tells.
bool WaitFor(const std::function<bool()>& fnReady) {
    for (int i = 0; i < 200; ++i) {
        if (fnReady()) {
            return true;
        }
        Sleep(50);
    }
    return false;
}

HWND FocusOf(HWND hDlg) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hDlg, nullptr), &info)) {
        return nullptr;
    }
    return info.hwndFocus;
}

HWND WaitForDialog(const wchar_t* caption) {
    HWND hDlg = nullptr;
    WaitFor([&] {
        hDlg = FindWindowW(L"#32770", caption);
        return hDlg && IsWindowVisible(hDlg) && FocusOf(hDlg);
    });
    return hDlg;
}

std::wstring TextOf(HWND hWnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hWnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hWnd, &text[0], static_cast<int>(text.size()))));
    return text;
}

// True when the control's font has a glyph of its own for every character:
// the text is seen, not boxes.
bool FontShows(HWND hCtrl, const std::wstring& text) {
    const auto hFont = reinterpret_cast<HFONT>(SendMessageW(hCtrl, WM_GETFONT, 0, 0));
    const HDC hdc = GetDC(hCtrl);
    const HGDIOBJ hOld = SelectObject(hdc, hFont);
    std::vector<WORD> glyphs(text.size());
    const DWORD n = GetGlyphIndicesW(hdc, text.c_str(), static_cast<int>(text.size()),
                                     glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(hdc, hOld);
    ReleaseDC(hCtrl, hdc);
    return n == text.size() && std::find(glyphs.begin(), glyphs.end(), 0xFFFF) == glyphs.end();
}

// A key as the keyboard gives it: the dialog's loop sees the key itself
// (Tab, Enter, Escape), characters come as the translation would make them.
void PostKey(HWND hDlg, UINT vk) {
    const HWND hFocus = FocusOf(hDlg);
    PostMessageW(hFocus, WM_KEYDOWN, vk, 1);
    PostMessageW(hFocus, WM_KEYUP, vk, 0xC0000001);
}

void PostText(HWND hDlg, const std::wstring& text) {
    const HWND hFocus = FocusOf(hDlg);
    for (const wchar_t unit : text) {
        PostMessageW(hFocus, WM_CHAR, unit, 1);
    }
}

// Alt and a letter, as the translation of the keys gives it to the dialog.
void PostAltLetter(HWND hDlg, wchar_t letter) {
    PostMessageW(FocusOf(hDlg), WM_SYSCHAR, letter, 1 | (1 << 29));
}

void Tab(HWND hDlg) {
    const HWND hBefore = FocusOf(hDlg);
    PostKey(hDlg, VK_TAB);
    WaitFor([&] { return FocusOf(hDlg) != hBefore; });
}

int Selected(HWND hDlg) {
    return static_cast<int>(SendDlgItemMessageW(hDlg, IDC_ARIA, CB_GETCURSEL, 0, 0));
}

int AreaIndex(const std::string& area) {
    for (int i = 0; i < ranking::kAreaCount; ++i) {
        if (area == ranking::kAreaList[i]) {
            return i;
        }
    }
    return -1;
}

plat::SendNetFields Fields(const std::string& name, const std::string& area) {
    plat::SendNetFields fields;
    fields.name = name;
    fields.areas.assign(std::begin(ranking::kAreaList), std::end(ranking::kAreaList));
    fields.selected = AreaIndex(area);
    return fields;
}

// What MSAA says of a control, as a screen reader asks it.
struct SAccessible {
    std::string strName;
    std::string strValue;
    long nRole = 0;
    long nState = 0;
    std::string strShortcut;
};

std::string TakeBstr(BSTR text) {
    const std::string out = text ? Narrow(text, SysStringLen(text)) : std::string();
    SysFreeString(text);
    return out;
}

SAccessible Ask(HWND hCtrl) {
    SAccessible out;
    IAccessible* acc = nullptr;
    const HRESULT hr =
        AccessibleObjectFromWindow(hCtrl, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&acc));
    if (FAILED(hr) || !acc) {
        ADD_FAILURE() << "no accessible object: " << std::hex << hr;
        return out;
    }
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    if (acc->get_accName(self, &text) == S_OK) {
        out.strName = TakeBstr(text);
    }
    text = nullptr;
    if (acc->get_accValue(self, &text) == S_OK) {
        out.strValue = TakeBstr(text);
    }
    text = nullptr;
    if (acc->get_accKeyboardShortcut(self, &text) == S_OK) {
        out.strShortcut = TakeBstr(text);
    }
    VARIANT v;
    VariantInit(&v);
    if (acc->get_accRole(self, &v) == S_OK && v.vt == VT_I4) {
        out.nRole = v.lVal;
    }
    VariantClear(&v);
    if (acc->get_accState(self, &v) == S_OK && v.vt == VT_I4) {
        out.nState = v.lVal;
    }
    VariantClear(&v);
    acc->Release();
    return out;
}

// Runs fnDrive on a thread of its own while the dialog runs on this one.
template <typename Run>
auto WithDriver(const std::function<void()>& fnDrive, Run run) {
    std::thread driver([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        fnDrive();
        CoUninitialize();
    });
    auto result = run();
    driver.join();
    return result;
}

TEST(SendNetDialog, ScreenReaderNamesEachFieldByItsLabel) {
    plat::SendNetFields fields = Fields("クロ猫", "Japan");
    const plat::SendNetFields before = fields;
    const int result = WithDriver(
        [] {
            const HWND hDlg = WaitForDialog(kSendNetCaption);
            ASSERT_NE(hDlg, nullptr);
            EXPECT_EQ(GetWindow(hDlg, GW_OWNER), plat::win32::MainWindowHandle());
            const HWND hName = GetDlgItem(hDlg, IDC_NAME);
            EXPECT_EQ(FocusOf(hDlg), hName) << "the name field has the first focus";
            // The stored name is shown as it is, Japanese included.
            EXPECT_EQ(TextOf(hName), L"クロ猫");
            EXPECT_TRUE(FontShows(hName, L"クロ猫"));
            const SAccessible name = Ask(hName);
            EXPECT_EQ(name.strName, "Your Name");
            EXPECT_EQ(name.nRole, ROLE_SYSTEM_TEXT);
            EXPECT_EQ(name.strValue, "クロ猫");
            // The label's mnemonic is the field's shortcut.
            EXPECT_EQ(name.strShortcut, "Alt+N");
            // Windows names the list by its label and gives the area as its
            // value; Wine's MSAA has no list of its own and says the area as
            // the name. Either way the chosen area is heard.
            const SAccessible area = Ask(GetDlgItem(hDlg, IDC_ARIA));
            EXPECT_TRUE(area.strValue == "Japan" || area.strName == "Japan")
                << area.strName << " / " << area.strValue;
            std::printf("MSAA: the name field is '%s' (%s), the area list '%s' = '%s'\n",
                        name.strName.c_str(), name.strShortcut.c_str(), area.strName.c_str(),
                        area.strValue.c_str());
            EXPECT_EQ(Ask(GetDlgItem(hDlg, IDOK)).strName, "Send");
            EXPECT_EQ(Ask(GetDlgItem(hDlg, IDCANCEL)).strName, "Close");
            const LRESULT def = SendMessageW(hDlg, DM_GETDEFID, 0, 0);
            EXPECT_EQ(HIWORD(def), DC_HASDEFID);
            EXPECT_EQ(LOWORD(def), IDOK) << "Send is the default button";
            PostKey(hDlg, VK_ESCAPE);
        },
        [&] { return plat::native::RunSendNetDialog(fields); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(fields.name, before.name);
    EXPECT_EQ(fields.selected, before.selected);
}

// Types the name over the stored one, goes to the area list (Tab, or its
// label's Alt+A), picks the area by its first letters and sends with Enter.
void TypeRecord(const std::wstring& name, const std::wstring& areaLetters, int nArea,
                bool bByMnemonic = false) {
    const HWND hDlg = WaitForDialog(kSendNetCaption);
    ASSERT_NE(hDlg, nullptr);
    const HWND hName = GetDlgItem(hDlg, IDC_NAME);
    ASSERT_EQ(FocusOf(hDlg), hName);
    SendMessageW(hName, EM_SETSEL, 0, -1);  // as the focus from the keyboard leaves it
    PostText(hDlg, name);
    ASSERT_TRUE(WaitFor([&] { return TextOf(hName) == name; }));
    const HWND hArea = GetDlgItem(hDlg, IDC_ARIA);
    if (bByMnemonic) {
        PostAltLetter(hDlg, L'a');
        WaitFor([&] { return FocusOf(hDlg) == hArea; });
    } else {
        Tab(hDlg);
    }
    ASSERT_EQ(FocusOf(hDlg), hArea);
    PostText(hDlg, areaLetters);
    ASSERT_TRUE(WaitFor([&] { return Selected(hDlg) == nArea; }))
        << "the letters chose " << Selected(hDlg);
    PostKey(hDlg, VK_RETURN);
}

TEST(SendNetDialog, KeysAloneFillTheFields) {
    plat::SendNetFields fields = Fields("Old name", "Secret");
    ASSERT_EQ(fields.selected, 0);
    const int result = WithDriver([] { TypeRecord(L"黒猫 Kuro", L"jap", AreaIndex("Japan")); },
                                  [&] { return plat::native::RunSendNetDialog(fields); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(fields.name, "黒猫 Kuro");
    EXPECT_EQ(fields.selected, AreaIndex("Japan"));
}

// One letter again and again goes on through the areas it begins; a blank
// inside a prefix belongs to it.
TEST(SendNetDialog, RepeatedLettersAndBlanksChooseAsInAList) {
    plat::SendNetFields fields = Fields("クロ猫", "Secret");
    const int result = WithDriver(
        [] {
            const HWND hDlg = WaitForDialog(kSendNetCaption);
            ASSERT_NE(hDlg, nullptr);
            Tab(hDlg);
            PostText(hDlg, L"ss");
            ASSERT_TRUE(WaitFor([&] { return Selected(hDlg) == AreaIndex("Saint Lucia"); }))
                << Selected(hDlg);
            Sleep(1200);  // a new prefix
            PostText(hDlg, L"sri l");
            ASSERT_TRUE(WaitFor([&] { return Selected(hDlg) == AreaIndex("Sri Lanka"); }))
                << Selected(hDlg);
            PostKey(hDlg, VK_RETURN);
        },
        [&] { return plat::native::RunSendNetDialog(fields); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(fields.selected, AreaIndex("Sri Lanka"));
}

// A stored area that is none of the list's leaves it without a choice, and
// Send says so; the close box cancels as Escape does.
TEST(SendNetDialog, AnUnknownAreaIsNoChoiceAndTheCloseBoxCancels) {
    plat::SendNetFields fields = Fields("Kuro", "Atlantis");
    ASSERT_EQ(fields.selected, -1);
    int result = WithDriver(
        [] {
            const HWND hDlg = WaitForDialog(kSendNetCaption);
            ASSERT_NE(hDlg, nullptr);
            EXPECT_EQ(Selected(hDlg), CB_ERR);
            PostKey(hDlg, VK_RETURN);
        },
        [&] { return plat::native::RunSendNetDialog(fields); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(fields.selected, -1);
    EXPECT_EQ(fields.name, "Kuro");
    result = WithDriver(
        [] {
            const HWND hDlg = WaitForDialog(kSendNetCaption);
            ASSERT_NE(hDlg, nullptr);
            PostMessageW(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        },
        [&] { return plat::native::RunSendNetDialog(fields); });
    EXPECT_EQ(result, IDCANCEL);
}

TEST(CredentialsPrompt, NamedByTheServerAndAnsweredByKeys) {
    plat::CCredentials out;
    const bool ok = WithDriver(
        [] {
            const HWND hDlg = WaitForDialog(L"127.0.0.1");
            ASSERT_NE(hDlg, nullptr);
            EXPECT_EQ(GetWindow(hDlg, GW_OWNER), plat::win32::MainWindowHandle());
            const HWND hPrompt = GetDlgItem(hDlg, IDC_CRED_PROMPT);
            EXPECT_EQ(TextOf(hPrompt), L"127.0.0.1 - ランキング");
            EXPECT_TRUE(FontShows(hPrompt, L"ランキング"));
            const HWND hUser = GetDlgItem(hDlg, IDC_USER);
            EXPECT_EQ(FocusOf(hDlg), hUser);
            EXPECT_EQ(Ask(hUser).strName, "User name");
            const SAccessible password = Ask(GetDlgItem(hDlg, IDC_PASSWORD));
            EXPECT_EQ(password.strName, "Password");
            EXPECT_NE(password.nState & STATE_SYSTEM_PROTECTED, 0);
            PostText(hDlg, L"くろ");
            WaitFor([&] { return TextOf(hUser) == L"くろ"; });
            Tab(hDlg);
            PostText(hDlg, L"neko");
            WaitFor([&] { return GetWindowTextLengthW(GetDlgItem(hDlg, IDC_PASSWORD)) == 4; });
            PostKey(hDlg, VK_RETURN);
        },
        [&] { return plat::native::AskCredentials("127.0.0.1", "ランキング", out); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(out.strUser, "くろ");
    EXPECT_EQ(out.strPassword, "neko");
}

TEST(CredentialsPrompt, EscapeCancelsAndKeepsWhatWasThere) {
    plat::CCredentials out{"kept", "kept too"};
    const bool ok = WithDriver(
        [] {
            const HWND hDlg = WaitForDialog(L"127.0.0.1");
            ASSERT_NE(hDlg, nullptr);
            PostText(hDlg, L"someone");
            PostKey(hDlg, VK_ESCAPE);
        },
        [&] { return plat::native::AskCredentials("127.0.0.1", "", out); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(out.strUser, "kept");
    EXPECT_EQ(out.strPassword, "kept too");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Page(const std::string& url) {
    CKoruHttpConnect http;
    http.GetPage(url, "", "");
    std::string text;
    for (const std::string& line : http.m_arrLines) {
        text += line;
    }
    return text;
}

// The game's own road: the dialog as the host runs it (CDlgSendNet, the
// player's stored name and area), then the record with its replay to the
// ranking server on Linux, which plays the game again before it ranks it.
TEST(SendNetDialog, TheRecordTypedIsVerifiedByTheRankingServer) {
    const char* host = std::getenv("DORUZORO_RANKING_HOST");
    const char* replayFile = std::getenv("DORUZORO_TEST_REPLAY");
    const char* score = std::getenv("DORUZORO_TEST_SCORE");
    const char* level = std::getenv("DORUZORO_TEST_LEVEL");
    if (!host || !replayFile || !score || !level) {
        GTEST_SKIP() << "no ranking server (dialogs.sh starts one)";
    }
    const std::string replay = ReadFile(replayFile);
    ASSERT_FALSE(replay.empty()) << replayFile;
    plat::SetSendNetHandler(
        [](plat::SendNetFields& f) { return plat::native::RunSendNetDialog(f); });
    CDlgSendNet dlg;
    dlg.m_strName = "Stored";
    dlg.m_strAria = "USA";
    const int result =
        WithDriver([] { TypeRecord(L"黒猫 Wine", L"japan", AreaIndex("Japan"), true); },
                   [&] { return dlg.DoModal(); });
    plat::SetSendNetHandler(nullptr);
    ASSERT_EQ(result, IDOK);
    EXPECT_EQ(dlg.m_strName, "黒猫 Wine");
    EXPECT_EQ(dlg.m_strAria, "Japan");
    ranking::SetServerHost(host);
    const std::string reply = ranking::SendRecord(dlg.m_strAria, dlg.m_strName, std::atoi(level),
                                                  std::atoi(score), replay);
    std::printf("the server's reply: %s\n", reply.c_str());
    EXPECT_EQ(reply.rfind("Registered.", 0), 0u) << reply;
    EXPECT_NE(reply.find("Score " + std::string(score)), std::string::npos) << reply;
    EXPECT_NE(Page(ranking::ResultPageUrl(0)).find("黒猫 Wine"), std::string::npos);
    ranking::SetServerHost("");
}

}  // namespace
