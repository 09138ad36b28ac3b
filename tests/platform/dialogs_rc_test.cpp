// The Windows dialogs' resource script read on any system: a screen reader
// names a field by the static text just before it in tab order, and the
// keyboard needs a mnemonic there, a default button and a cancel.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct SControl {
    std::string strKind;   // LTEXT, EDITTEXT, CONTROL, ...
    std::string strText;   // empty for fields
    std::string strClass;  // the window class of a CONTROL
    int nId = -1;
    std::string strStyle;  // the style expression as written
};

struct SDialog {
    int nId = 0;
    std::string strStyle;
    std::string strCaption;
    std::vector<SControl> arrControls;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r");
    const size_t e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// Splits at commas outside quotes; "" inside quotes is a quote.
std::vector<std::string> Fields(const std::string& s) {
    std::vector<std::string> out(1);
    bool bQuoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            bQuoted = !bQuoted;
        } else if (c == ',' && !bQuoted) {
            out.emplace_back();
            continue;
        }
        out.back() += c;
    }
    for (std::string& f : out) {
        f = Trim(f);
    }
    return out;
}

std::string Unquote(const std::string& s) {
    if (s.size() < 2 || s.front() != '"' || s.back() != '"') {
        return s;
    }
    std::string out;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        out += s[i];
        if (s[i] == '"' && s[i + 1] == '"') {
            ++i;
        }
    }
    return out;
}

class CResourceScript {
public:
    // The #defines of the ids header, and the system's ids the script uses.
    explicit CResourceScript(const std::string& strIds) {
        m_mapIds = {{"IDOK", 1}, {"IDCANCEL", 2}, {"IDC_STATIC", -1}};
        std::istringstream in(strIds);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string define, name;
            long value = 0;
            if (words >> define >> name >> value && define == "#define") {
                m_mapIds[name] = static_cast<int>(value);
            }
        }
    }

    int Id(const std::string& word) const {
        const auto it = m_mapIds.find(word);
        if (it != m_mapIds.end()) {
            return it->second;
        }
        return word.empty() ? 0 : std::atoi(word.c_str());
    }

    // Gives false, with the line, when the script has what it cannot read.
    bool Parse(const std::string& strScript, std::string& err) {
        std::istringstream in(strScript);
        std::string raw;
        SDialog* pDialog = nullptr;
        bool bInBlock = false;
        while (std::getline(in, raw)) {
            const std::string line = Trim(raw.substr(0, raw.find("//")));
            if (line.empty() || line[0] == '#') {
                continue;
            }
            std::istringstream words(line);
            std::string first, second;
            words >> first >> second;
            if (second == "DIALOGEX" || second == "DIALOG") {
                m_arrDialogs.emplace_back();
                pDialog = &m_arrDialogs.back();
                pDialog->nId = Id(first);
                continue;
            }
            if (!pDialog) {
                err = "outside a dialog: " + line;
                return false;
            }
            if (first == "BEGIN" || first == "{") {
                bInBlock = true;
            } else if (first == "END" || first == "}") {
                bInBlock = false;
                pDialog = nullptr;
            } else if (!bInBlock && first == "STYLE") {
                pDialog->strStyle = line.substr(5);
            } else if (!bInBlock && first == "CAPTION") {
                pDialog->strCaption = Unquote(Trim(line.substr(7)));
            } else if (bInBlock && !AddControl(*pDialog, first, Trim(line.substr(first.size())))) {
                err = "a control not read: " + line;
                return false;
            }
        }
        return true;
    }

    const std::vector<SDialog>& Dialogs() const { return m_arrDialogs; }

private:
    bool AddControl(SDialog& dlg, const std::string& kind, const std::string& rest) {
        const std::vector<std::string> f = Fields(rest);
        SControl c;
        c.strKind = kind;
        if (kind == "EDITTEXT" || kind == "COMBOBOX" || kind == "LISTBOX") {
            if (f.size() < 5) {
                return false;
            }
            c.nId = Id(f[0]);
            c.strStyle = f.size() > 5 ? f[5] : "";
        } else if (kind == "CONTROL") {
            if (f.size() < 8) {
                return false;
            }
            c.strText = Unquote(f[0]);
            c.nId = Id(f[1]);
            c.strClass = Unquote(f[2]);
            c.strStyle = f[3];
        } else if (kind == "LTEXT" || kind == "RTEXT" || kind == "CTEXT" || kind == "PUSHBUTTON" ||
                   kind == "DEFPUSHBUTTON" || kind == "GROUPBOX") {
            if (f.size() < 6) {
                return false;
            }
            c.strText = Unquote(f[0]);
            c.nId = Id(f[1]);
            c.strStyle = f.size() > 6 ? f[6] : "";
        } else {
            return false;
        }
        dlg.arrControls.push_back(c);
        return true;
    }

    std::map<std::string, int> m_mapIds;
    std::vector<SDialog> m_arrDialogs;
};

bool HasStyle(const std::string& styles, const std::string& style) {
    std::string word;
    std::istringstream in(styles);
    for (std::string part; std::getline(in, part, '|');) {
        if (Trim(part) == style) {
            return true;
        }
    }
    return false;
}

bool IsStatic(const SControl& c) {
    return c.strKind == "LTEXT" || c.strKind == "RTEXT" || c.strKind == "CTEXT" ||
           (c.strKind == "CONTROL" && c.strClass == "Static");
}

bool IsInput(const SControl& c) {
    if (c.strKind == "CONTROL") {
        return c.strClass == "Edit" || c.strClass == "ComboBox" || c.strClass == "ListBox";
    }
    return c.strKind == "EDITTEXT" || c.strKind == "COMBOBOX" || c.strKind == "LISTBOX";
}

bool IsButton(const SControl& c) {
    return c.strKind == "PUSHBUTTON" || c.strKind == "DEFPUSHBUTTON";
}

// The letter after the first single '&', or 0.
char Mnemonic(const std::string& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '&') {
            if (text[i + 1] != '&') {
                return static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 1])));
            }
            ++i;
        }
    }
    return 0;
}

bool TabStop(const SControl& c) {
    if (HasStyle(c.strStyle, "NOT WS_TABSTOP")) {
        return false;
    }
    return IsInput(c) || IsButton(c) || HasStyle(c.strStyle, "WS_TABSTOP");
}

// What a player with a screen reader and the keyboard alone needs of a
// dialog; each fault found, one a line.
std::string KeyboardAndReaderFaults(const SDialog& dlg) {
    std::ostringstream faults;
    std::map<char, std::string> mnemonics;
    int nDefaults = 0;
    bool bCancel = false;
    const SControl* pFirstStop = nullptr;
    for (size_t i = 0; i < dlg.arrControls.size(); ++i) {
        const SControl& c = dlg.arrControls[i];
        const char m = (IsStatic(c) || IsButton(c)) && !HasStyle(c.strStyle, "SS_NOPREFIX")
                           ? Mnemonic(c.strText)
                           : 0;
        if (m != 0 && !mnemonics.emplace(m, c.strText).second) {
            faults << "'" << c.strText << "' and '" << mnemonics[m] << "' share Alt+" << m << "\n";
        }
        if (IsInput(c)) {
            const SControl* pLabel = i > 0 ? &dlg.arrControls[i - 1] : nullptr;
            if (!pLabel || !IsStatic(*pLabel) || HasStyle(pLabel->strStyle, "SS_NOPREFIX") ||
                Mnemonic(pLabel->strText) == 0) {
                faults << "field " << c.nId << " has no label with a mnemonic right before it\n";
            }
            if (!TabStop(c)) {
                faults << "field " << c.nId << " is no tab stop\n";
            }
        }
        if (!pFirstStop && TabStop(c)) {
            pFirstStop = &c;
        }
        nDefaults += c.strKind == "DEFPUSHBUTTON" ? 1 : 0;
        bCancel = bCancel || c.nId == 2;
    }
    if (nDefaults != 1) {
        faults << nDefaults << " default buttons\n";
    }
    if (!bCancel) {
        faults << "no IDCANCEL: Escape would do nothing\n";
    }
    if (pFirstStop && !IsInput(*pFirstStop)) {
        faults << "the first focus is not a field\n";
    }
    for (const char* style : {"WS_CAPTION", "WS_SYSMENU", "DS_MODALFRAME"}) {
        if (!HasStyle(dlg.strStyle, style)) {
            faults << "the dialog lacks " << style << "\n";
        }
    }
    return faults.str();
}

class DialogsScript : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string dir = std::string(DORUZORO_SOURCE_DIR) + "/platform/win32/";
        m_strScript = ReadFile(dir + "dialogs.rc");
        m_strIds = ReadFile(dir + "dialog_ids.h");
        ASSERT_FALSE(m_strScript.empty());
        ASSERT_FALSE(m_strIds.empty());
    }
    std::string m_strScript;
    std::string m_strIds;
};

TEST_F(DialogsScript, EveryFieldHasItsLabelAndTheKeysTheyNeed) {
    CResourceScript rc(m_strIds);
    std::string err;
    ASSERT_TRUE(rc.Parse(m_strScript, err)) << err;
    ASSERT_EQ(rc.Dialogs().size(), 2u);
    for (const SDialog& dlg : rc.Dialogs()) {
        EXPECT_EQ(KeyboardAndReaderFaults(dlg), "") << "dialog " << dlg.nId;
        // Resource ids 1-99 are the main window's.
        EXPECT_GE(dlg.nId, 100);
        EXPECT_LE(dlg.nId, 999);
        std::map<int, int> ids;
        for (const SControl& c : dlg.arrControls) {
            EXPECT_TRUE(c.nId == -1 || ++ids[c.nId] == 1) << "id " << c.nId << " twice";
        }
    }
}

TEST_F(DialogsScript, TheRegistrationDialogIsTheGamesOwn) {
    CResourceScript rc(m_strIds);
    std::string err;
    ASSERT_TRUE(rc.Parse(m_strScript, err)) << err;
    const SDialog& dlg = rc.Dialogs().at(0);
    EXPECT_EQ(dlg.nId, 129);
    EXPECT_EQ(dlg.strCaption, "Do you register a record with a net?");
    std::vector<std::string> order;
    for (const SControl& c : dlg.arrControls) {
        order.push_back(c.strKind + " " + std::to_string(c.nId) + " " + c.strText);
    }
    const std::vector<std::string> expected = {
        "LTEXT " + std::to_string(rc.Id("IDC_NAME_LABEL")) + " Your &Name",
        "EDITTEXT 1002 ",
        "LTEXT " + std::to_string(rc.Id("IDC_ARIA_LABEL")) + " &Aria",
        "COMBOBOX 1001 ",
        "DEFPUSHBUTTON 1 &Send",
        "PUSHBUTTON 2 &Close"};
    EXPECT_EQ(order, expected);
    EXPECT_TRUE(HasStyle(dlg.arrControls[3].strStyle, "CBS_DROPDOWNLIST"));
    EXPECT_FALSE(HasStyle(dlg.arrControls[3].strStyle, "CBS_SORT")) << "the areas keep their order";
}

// The check finds what it is there for.
TEST(DialogsScriptCheck, FindsALabelAfterItsFieldAndMissingKeys) {
    CResourceScript rc("#define IDD_X 200\n#define IDC_F 10\n");
    std::string err;
    ASSERT_TRUE(
        rc.Parse("IDD_X DIALOGEX 0, 0, 100, 50\n"
                 "STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU\n"
                 "BEGIN\n"
                 "    PUSHBUTTON \"&Go\", 3, 1, 1, 10, 10\n"
                 "    EDITTEXT IDC_F, 1, 1, 10, 10, ES_AUTOHSCROLL\n"
                 "    LTEXT \"&Field\", -1, 1, 1, 10, 10\n"
                 "    CONTROL \"\", 11, \"Edit\", WS_BORDER, 1, 1, 10, 10\n"
                 "    LTEXT \"&Gone\", -1, 1, 1, 10, 10\n"
                 "    COMBOBOX 12, 1, 1, 10, 10, CBS_DROPDOWNLIST | NOT WS_TABSTOP\n"
                 "END\n",
                 err))
        << err;
    ASSERT_EQ(rc.Dialogs().size(), 1u);
    EXPECT_EQ(KeyboardAndReaderFaults(rc.Dialogs()[0]),
              "field 10 has no label with a mnemonic right before it\n"
              "'&Gone' and '&Go' share Alt+g\n"
              "field 12 is no tab stop\n"
              "0 default buttons\n"
              "no IDCANCEL: Escape would do nothing\n"
              "the first focus is not a field\n");
    EXPECT_FALSE(rc.Parse("IDD_X DIALOGEX 0, 0, 1, 1\nBEGIN\n  SCROLLBAR 1, 2\nEND\n", err));
}

}  // namespace
