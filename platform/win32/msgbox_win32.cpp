// The message box and the question box, both owned by the game's window so
// that they stay above it and give it the keys back when they close. The
// question is a dialog built in memory of the system's own controls (a
// caption, a static text, push buttons), which every screen reader reads:
// the caption names it, the text is said once, the focus is on the default.
#include "platform/native.h"
#include "platform/win32/wide.h"
#include "platform/win32/window_internal.h"

namespace plat {
namespace native {
namespace {

constexpr WORD kTextId = 10;
constexpr WORD kFirstAnswerId = 100;
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;
// In dialog units.
constexpr int kMargin = 7;
constexpr int kGap = 4;
constexpr int kButtonHeight = 14;
constexpr int kButtonMinWidth = 50;
constexpr int kButtonPadding = 8;
constexpr int kTextMaxWidth = 280;

// A dialog template as the system reads it: WORDs, each item on a DWORD.
class CDialogTemplate {
public:
    CDialogTemplate(const std::wstring& caption, WORD nItems) {
        Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_SHELLFONT);
        Dword(0);
        m_arr.push_back(nItems);
        for (int i = 0; i < 4; ++i) {
            m_arr.push_back(0);  // placed once the text is measured
        }
        m_arr.push_back(0);  // no menu
        m_arr.push_back(0);  // the dialog class
        String(caption);
        m_arr.push_back(8);
        String(L"MS Shell Dlg");
    }
    void Item(WORD classAtom, WORD id, DWORD style, const std::wstring& text) {
        if (m_arr.size() % 2) {
            m_arr.push_back(0);
        }
        Dword(WS_CHILD | WS_VISIBLE | style);
        Dword(0);
        for (int i = 0; i < 4; ++i) {
            m_arr.push_back(0);
        }
        m_arr.push_back(id);
        m_arr.push_back(0xFFFF);
        m_arr.push_back(classAtom);
        String(text);
        m_arr.push_back(0);  // no creation data
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_arr.data()); }

private:
    void Dword(DWORD value) {
        m_arr.push_back(LOWORD(value));
        m_arr.push_back(HIWORD(value));
    }
    void String(const std::wstring& text) {
        m_arr.insert(m_arr.end(), text.begin(), text.end());
        m_arr.push_back(0);
    }
    std::vector<WORD> m_arr;
};

struct SQuestion {
    size_t nAnswers = 0;
    int nDefault = -1;
};

// "_" marks a mnemonic here and "&" there; "__" is a plain "_".
std::wstring ButtonText(const std::string& answer) {
    std::string out;
    for (size_t i = 0; i < answer.size(); ++i) {
        if (answer[i] == '_') {
            const bool bDouble = i + 1 < answer.size() && answer[i + 1] == '_';
            out += bDouble ? '_' : '&';
            i += bDouble ? 1 : 0;
        } else if (answer[i] == '&') {
            out += "&&";
        } else {
            out += answer[i];
        }
    }
    return Wide(out);
}

int DluToX(HWND hDlg, int dlu) {
    ::RECT rc = {0, 0, dlu, 0};
    MapDialogRect(hDlg, &rc);
    return rc.right;
}

int DluToY(HWND hDlg, int dlu) {
    ::RECT rc = {0, 0, 0, dlu};
    MapDialogRect(hDlg, &rc);
    return rc.bottom;
}

// The size a control's text takes in the dialog's font.
SIZE MeasureText(HWND hDlg, HWND control, UINT format, int maxWidth) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    GetWindowTextW(control, &text[0], static_cast<int>(text.size()));
    HDC dc = GetDC(hDlg);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(hDlg, WM_GETFONT, 0, 0)));
    ::RECT rc = {0, 0, maxWidth, 0};
    DrawTextW(dc, text.c_str(), -1, &rc, format | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(hDlg, dc);
    return {rc.right, rc.bottom};
}

// The text above, the buttons in a row below it at the right, the box over
// the game's window (or the screen's middle).
void LayOut(HWND hDlg, const SQuestion& q) {
    const int margin = DluToX(hDlg, kMargin);
    const int gap = DluToX(hDlg, kGap);
    const int buttonHeight = DluToY(hDlg, kButtonHeight);
    HWND text = GetDlgItem(hDlg, kTextId);
    const SIZE textSize = MeasureText(hDlg, text, DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS,
                                      DluToX(hDlg, kTextMaxWidth));
    std::vector<int> widths;
    int row = 0;
    for (size_t i = 0; i < q.nAnswers; ++i) {
        HWND button = GetDlgItem(hDlg, static_cast<int>(kFirstAnswerId + i));
        const int width =
            MeasureText(hDlg, button, DT_SINGLELINE, 0).cx + 2 * DluToX(hDlg, kButtonPadding);
        widths.push_back(width > DluToX(hDlg, kButtonMinWidth) ? width
                                                               : DluToX(hDlg, kButtonMinWidth));
        row += widths.back() + (i ? gap : 0);
    }
    const int inner = textSize.cx > row ? textSize.cx : row;
    MoveWindow(text, margin, margin, inner, textSize.cy, FALSE);
    const int y = margin + textSize.cy + margin;
    int x = margin + inner - row;
    for (size_t i = 0; i < q.nAnswers; ++i) {
        MoveWindow(GetDlgItem(hDlg, static_cast<int>(kFirstAnswerId + i)), x, y, widths[i],
                   buttonHeight, FALSE);
        x += widths[i] + gap;
    }
    ::RECT frame = {0, 0, inner + 2 * margin, y + buttonHeight + margin};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(hDlg, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(hDlg, GWL_EXSTYLE)));
    const int cx = frame.right - frame.left;
    const int cy = frame.bottom - frame.top;
    ::RECT over = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (HWND owner = GetWindow(hDlg, GW_OWNER)) {
        GetWindowRect(owner, &over);
    }
    SetWindowPos(hDlg, nullptr, (over.left + over.right - cx) / 2,
                 (over.top + over.bottom - cy) / 2, cx, cy, SWP_NOZORDER);
}

INT_PTR CALLBACK QuestionProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const auto* q = reinterpret_cast<const SQuestion*>(lParam);
        SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
        LayOut(hDlg, *q);
        SetForegroundWindow(hDlg);
        if (q->nDefault >= 0 && static_cast<size_t>(q->nDefault) < q->nAnswers) {
            const int id = kFirstAnswerId + q->nDefault;
            SendMessageW(hDlg, DM_SETDEFID, static_cast<WPARAM>(id), 0);
            SetFocus(GetDlgItem(hDlg, id));
            return FALSE;  // the focus is set
        }
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    const auto* q = reinterpret_cast<const SQuestion*>(GetWindowLongPtrW(hDlg, DWLP_USER));
    const int id = LOWORD(wParam);
    if (id == IDCANCEL) {
        EndDialog(hDlg, -1);  // Escape or the close box
        return TRUE;
    }
    if (q && id >= kFirstAnswerId && static_cast<size_t>(id - kFirstAnswerId) < q->nAnswers) {
        EndDialog(hDlg, id - kFirstAnswerId);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void ShowMessageBox(const std::string& text, const std::string& caption) {
    const HWND owner = win32::MainWindowHandle();
    MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(),
                MB_OK | MB_SETFOREGROUND | (owner ? 0 : MB_TASKMODAL));
}

int AskQuestion(const std::string& text, const std::string& caption,
                const std::vector<std::string>& arrAnswers, int nDefault) {
    SQuestion q;
    q.nAnswers = arrAnswers.size();
    q.nDefault = nDefault;
    CDialogTemplate tmpl(Wide(caption), static_cast<WORD>(1 + arrAnswers.size()));
    tmpl.Item(kStaticClass, kTextId, SS_LEFT | SS_NOPREFIX, Wide(text));
    for (size_t i = 0; i < arrAnswers.size(); ++i) {
        const DWORD style = static_cast<int>(i) == nDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        tmpl.Item(kButtonClass, static_cast<WORD>(kFirstAnswerId + i), WS_TABSTOP | style,
                  ButtonText(arrAnswers[i]));
    }
    const INT_PTR answer =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), tmpl.Get(), win32::MainWindowHandle(),
                                QuestionProc, reinterpret_cast<LPARAM>(&q));
    return static_cast<int>(answer);
}

}  // namespace native
}  // namespace plat
