// The registration dialog and the credentials prompt, from the templates of
// dialogs.rc, owned by the game's window. Texts are UTF-8 in the program and
// UTF-16 at the system.
#include "platform/native.h"
#include "platform/typeahead.h"
#include "platform/win32/dialog_ids.h"
#include "platform/win32/wide.h"
#include "platform/win32/window_internal.h"

namespace plat {
namespace {

std::string ControlText(HWND hDlg, int id) {
    const HWND hCtrl = GetDlgItem(hDlg, id);
    const int len = GetWindowTextLengthW(hCtrl);
    if (len <= 0) {
        return std::string();
    }
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    const int got = GetWindowTextW(hCtrl, &text[0], len + 1);
    return Narrow(text.data(), static_cast<size_t>(got > 0 ? got : 0));
}

void SetControlText(HWND hDlg, int id, const std::string& text) {
    SetDlgItemTextW(hDlg, id, Wide(text).c_str());
}

// High contrast keeps the system's colours: the player chose them.
bool HighContrast() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) &&
           (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

// Deletes a GDI object (a brush, a font) at the end of its scope.
template <typename T>
class CGdiObject {
public:
    explicit CGdiObject(T h = nullptr) : m_h(h) {}
    ~CGdiObject() { Reset(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    T Get() const { return m_h; }
    void Reset(T h = nullptr) {
        if (m_h) {
            DeleteObject(m_h);
        }
        m_h = h;
    }

private:
    T m_h;
};

// Japanese names and realms must show on every system. The original's face
// first, then others with Japanese glyphs; the template's face (which
// Windows links to one, and Wine may not) when the system has none.
const wchar_t* const kJapaneseFaces[] = {L"MS UI Gothic", L"Yu Gothic UI", L"Meiryo UI",
                                         L"VL Gothic", L"Noto Sans CJK JP"};

struct SFaceSearch {
    const wchar_t* szFace;
    bool bJapanese;
};

int CALLBACK OnFace(const LOGFONTW* lf, const TEXTMETRICW* /*tm*/, DWORD /*type*/, LPARAM lParam) {
    auto* search = reinterpret_cast<SFaceSearch*>(lParam);
    // A name the system only substitutes is not the face itself.
    if (lf->lfCharSet == SHIFTJIS_CHARSET && lstrcmpiW(lf->lfFaceName, search->szFace) == 0) {
        search->bJapanese = true;
        return 0;
    }
    return 1;
}

const wchar_t* JapaneseFace(HDC hdc) {
    for (const wchar_t* face : kJapaneseFaces) {
        LOGFONTW lf{};
        lf.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
        SFaceSearch search{face, false};
        EnumFontFamiliesExW(hdc, &lf, &OnFace, reinterpret_cast<LPARAM>(&search), 0);
        if (search.bJapanese) {
            return face;
        }
    }
    return nullptr;
}

// The dialog's font in a face with Japanese glyphs, at the template's size;
// deleted with the dialog's run.
class CDialogFont {
public:
    void Apply(HWND hDlg) {
        const auto hCurrent = reinterpret_cast<HFONT>(SendMessageW(hDlg, WM_GETFONT, 0, 0));
        LOGFONTW lf{};
        if (!hCurrent || !GetObjectW(hCurrent, sizeof lf, &lf)) {
            return;
        }
        const HDC hdc = GetDC(hDlg);
        const wchar_t* face = JapaneseFace(hdc);
        ReleaseDC(hDlg, hdc);
        if (!face) {
            return;
        }
        lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
        lf.lfCharSet = DEFAULT_CHARSET;
        m_font.Reset(CreateFontIndirectW(&lf));
        if (!m_font.Get()) {
            return;
        }
        // The controls alone: the dialog deletes its own font when it goes.
        EnumChildWindows(hDlg, &SetFontOf, reinterpret_cast<LPARAM>(m_font.Get()));
    }

private:
    static BOOL CALLBACK SetFontOf(HWND hCtrl, LPARAM lParam) {
        SendMessageW(hCtrl, WM_SETFONT, static_cast<WPARAM>(lParam), TRUE);
        return TRUE;
    }
    CGdiObject<HFONT> m_font;
};

// What the registration dialog's procedure works on, for one run.
struct SSendNet {
    explicit SSendNet(SendNetFields& fields) : pFields(&fields) {}
    SendNetFields* pFields;
    CGdiObject<HBRUSH> brush{CreateSolidBrush(0x000000)};
    CDialogFont font;
    bool bBlack = !HighContrast();
    CTypeAhead typeAhead;
    WNDPROC pComboProc = nullptr;
    wchar_t chHighSurrogate = 0;
};

const wchar_t kSendNetProp[] = L"DoruzorO.SendNet";

SSendNet* SendNetOf(HWND hWnd) {
    return static_cast<SSendNet*>(GetPropW(hWnd, kSendNetProp));
}

// The letter's entry is chosen as if picked in the list, so that the dialog
// and a screen reader hear of it as of an arrow key's choice.
void ChooseArea(HWND hCombo, int nFound) {
    SendMessageW(hCombo, CB_SETCURSEL, static_cast<WPARAM>(nFound), 0);
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, hCombo, OBJID_CLIENT, CHILDID_SELF);
    const HWND hDlg = GetParent(hCombo);
    SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hCombo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(hCombo));
}

// Letters typed on the area list choose the area they begin by the rule of
// typeahead.h, the same on every system, instead of the list's own search.
bool TypeInAreaList(HWND hCombo, SSendNet& dlg, wchar_t unit) {
    if (unit >= 0xD800 && unit < 0xDC00) {
        dlg.chHighSurrogate = unit;
        return true;
    }
    uint32_t ch = unit;
    if (unit >= 0xDC00 && unit < 0xE000) {
        if (dlg.chHighSurrogate == 0) {
            return true;
        }
        ch = 0x10000 + ((static_cast<uint32_t>(dlg.chHighSurrogate) - 0xD800) << 10) +
             (unit - 0xDC00);
    }
    dlg.chHighSurrogate = 0;
    const uint32_t dwTime = static_cast<uint32_t>(GetMessageTime());
    if (ch < 0x20 || ch == 0x7F || (ch == ' ' && !dlg.typeAhead.Typing(dwTime))) {
        return false;
    }
    const int nCurrent = static_cast<int>(SendMessageW(hCombo, CB_GETCURSEL, 0, 0));
    const int nFound = dlg.typeAhead.Type(ch, dwTime, dlg.pFields->areas, nCurrent);
    if (nFound < 0) {
        MessageBeep(MB_OK);
    } else if (nFound != nCurrent) {
        ChooseArea(hCombo, nFound);
    }
    return true;
}

LRESULT CALLBACK AreaListProc(HWND hCombo, UINT msg, WPARAM wParam, LPARAM lParam) {
    SSendNet* dlg = SendNetOf(hCombo);
    if (!dlg) {
        return DefWindowProcW(hCombo, msg, wParam, lParam);
    }
    const WNDPROC pNext = dlg->pComboProc;
    if (msg == WM_CHAR && TypeInAreaList(hCombo, *dlg, static_cast<wchar_t>(wParam))) {
        return 0;
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hCombo, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pNext));
        RemovePropW(hCombo, kSendNetProp);
    }
    return CallWindowProcW(pNext, hCombo, msg, wParam, lParam);
}

void InitSendNet(HWND hDlg, SSendNet& dlg) {
    SetPropW(hDlg, kSendNetProp, &dlg);
    dlg.font.Apply(hDlg);
    const SendNetFields& fields = *dlg.pFields;
    // The name has no length limit but the control's own.
    SendDlgItemMessageW(hDlg, IDC_NAME, EM_SETLIMITTEXT, 0, 0);
    SetControlText(hDlg, IDC_NAME, fields.name);
    const HWND hCombo = GetDlgItem(hDlg, IDC_ARIA);
    for (const std::string& area : fields.areas) {
        SendMessageW(hCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(area).c_str()));
    }
    const int count = static_cast<int>(fields.areas.size());
    const bool bValid = fields.selected >= 0 && fields.selected < count;
    SendMessageW(hCombo, CB_SETCURSEL, bValid ? static_cast<WPARAM>(fields.selected) : WPARAM(-1),
                 0);
    SetPropW(hCombo, kSendNetProp, &dlg);
    dlg.pComboProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hCombo, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AreaListProc)));
}

// The dialog and its two labels on black; the labels' text white, or it
// would not be seen there.
INT_PTR PaintBlack(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam, const SSendNet& dlg) {
    if (!dlg.bBlack) {
        return FALSE;
    }
    const HWND hCtrl = reinterpret_cast<HWND>(lParam);
    if (msg == WM_CTLCOLORSTATIC) {
        const int id = GetDlgCtrlID(hCtrl);
        if (GetParent(hCtrl) != hDlg || (id != IDC_NAME_LABEL && id != IDC_ARIA_LABEL)) {
            return FALSE;
        }
        const HDC hdc = reinterpret_cast<HDC>(wParam);
        SetTextColor(hdc, 0xFFFFFF);
        SetBkColor(hdc, 0x000000);
    }
    return reinterpret_cast<INT_PTR>(dlg.brush.Get());
}

void EndSendNet(HWND hDlg, SSendNet& dlg, int result) {
    if (result == IDOK) {
        dlg.pFields->name = ControlText(hDlg, IDC_NAME);
        const LRESULT sel = SendDlgItemMessageW(hDlg, IDC_ARIA, CB_GETCURSEL, 0, 0);
        dlg.pFields->selected = sel == CB_ERR ? -1 : static_cast<int>(sel);
    }
    EndDialog(hDlg, result);
}

INT_PTR CALLBACK SendNetProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        InitSendNet(hDlg, *reinterpret_cast<SSendNet*>(lParam));
        return TRUE;  // the focus on the first field, the name
    }
    SSendNet* dlg = SendNetOf(hDlg);
    if (!dlg) {
        return FALSE;
    }
    switch (msg) {
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return PaintBlack(hDlg, msg, wParam, lParam, *dlg);
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndSendNet(hDlg, *dlg, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        case WM_DESTROY:
            RemovePropW(hDlg, kSendNetProp);
            return FALSE;
        default:
            return FALSE;
    }
}

struct SCredentials {
    const std::string* pServer;
    const std::string* pRealm;
    CCredentials* pOut;
    CDialogFont font;
};

INT_PTR CALLBACK CredentialsProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* ask = reinterpret_cast<SCredentials*>(lParam);
        SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
        ask->font.Apply(hDlg);
        // Named by the server, described by the prompt, as on every system.
        SetWindowTextW(hDlg, Wide(*ask->pServer).c_str());
        const std::string prompt =
            ask->pRealm->empty() ? *ask->pServer : *ask->pServer + " - " + *ask->pRealm;
        SetControlText(hDlg, IDC_CRED_PROMPT, prompt);
        return TRUE;  // the focus on the user name
    }
    if (msg != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)) {
        return FALSE;
    }
    auto* ask = reinterpret_cast<SCredentials*>(GetWindowLongPtrW(hDlg, DWLP_USER));
    if (LOWORD(wParam) == IDOK && ask) {
        ask->pOut->strUser = ControlText(hDlg, IDC_USER);
        ask->pOut->strPassword = ControlText(hDlg, IDC_PASSWORD);
        // The password is no longer in the control once it is ours.
        SetDlgItemTextW(hDlg, IDC_PASSWORD, L"");
    }
    EndDialog(hDlg, LOWORD(wParam));
    return TRUE;
}

// The module that holds the templates: the program, which links dialogs.rc.
HINSTANCE ResourceModule() {
    return GetModuleHandleW(nullptr);
}

}  // namespace

namespace native {

bool AskCredentials(const std::string& server, const std::string& realm, CCredentials& out) {
    CCredentials answer;
    SCredentials ask{&server, &realm, &answer, {}};
    const INT_PTR result = DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(IDD_CREDENTIALS),
                                           win32::MainWindowHandle(), &CredentialsProc,
                                           reinterpret_cast<LPARAM>(&ask));
    if (result != IDOK) {
        return false;
    }
    out = std::move(answer);
    return true;
}

// -1, as without a display, when the dialog cannot be made at all.
int RunSendNetDialog(SendNetFields& fields) {
    SSendNet dlg(fields);
    const INT_PTR result =
        DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(IDD_SENDNET), win32::MainWindowHandle(),
                        &SendNetProc, reinterpret_cast<LPARAM>(&dlg));
    if (result == IDOK || result == IDCANCEL) {
        return static_cast<int>(result);
    }
    return -1;
}

}  // namespace native
}  // namespace plat
