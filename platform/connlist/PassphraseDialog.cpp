#include "platform/connlist/PassphraseDialog.h"

#include <vector>

#include "platform/ui/Window.h"

namespace {

// The passphrase prompt, built in memory so that it needs no resource.
class PassphraseDialog {
public:
    PassphraseDialog(const std::wstring& title, bool newOne) : m_title(title), m_newOne(newOne) {}

    std::optional<conn::SecretText> Run(HWND owner) {
        std::vector<WORD> t;
        Build(t);
        const INT_PTR r =
            ::DialogBoxIndirectParamW(ui::ResourceModule(), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()),
                                      owner, Proc, reinterpret_cast<LPARAM>(this));
        if (r != IDOK) return std::nullopt;
        return std::move(m_result);
    }

private:
    enum { kEdit = 100, kEdit2 = 101, kMaxLength = 1000 };

    static void Text(std::vector<WORD>& t, const std::wstring& s) {
        for (wchar_t c : s) t.push_back(static_cast<WORD>(c));
        t.push_back(0);
    }
    static void Item(std::vector<WORD>& t, DWORD style, short x, short y, short cx, short cy, WORD id,
                     WORD cls, const std::wstring& text) {
        if (t.size() % 2) t.push_back(0);  // DWORD alignment
        const DWORD s = style | WS_CHILD | WS_VISIBLE;
        t.push_back(LOWORD(s));
        t.push_back(HIWORD(s));
        t.push_back(0);
        t.push_back(0);
        for (short v : {x, y, cx, cy}) t.push_back(static_cast<WORD>(v));
        t.push_back(id);
        t.push_back(0xFFFF);
        t.push_back(cls);
        Text(t, text);
        t.push_back(0);
    }
    void Build(std::vector<WORD>& t) const {
        const short h = m_newOne ? 96 : 66;
        const DWORD style = DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        t.push_back(LOWORD(style));
        t.push_back(HIWORD(style));
        t.push_back(0);
        t.push_back(0);
        t.push_back(static_cast<WORD>(m_newOne ? 6 : 4));
        for (int v : {0, 0, 220, static_cast<int>(h)}) t.push_back(static_cast<WORD>(v));
        t.push_back(0);  // no menu
        t.push_back(0);  // standard class
        Text(t, m_title);
        t.push_back(8);
        Text(t, L"MS Shell Dlg");
        Item(t, SS_LEFT, 7, 7, 206, 18, 0xFFFF, 0x0082,
             m_newOne ? L"Passwords are encrypted under this passphrase (at least 8 characters):"
                      : L"The passwords in this file are protected by a passphrase:");
        Item(t, ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 26, 206, 13, kEdit, 0x0081, L"");
        if (m_newOne) {
            Item(t, SS_LEFT, 7, 44, 206, 9, 0xFFFF, 0x0082, L"Type it again:");
            Item(t, ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 55, 206, 13, kEdit2, 0x0081,
                 L"");
        }
        Item(t, BS_DEFPUSHBUTTON | WS_TABSTOP, 109, h - 21, 50, 14, IDOK, 0x0080, L"OK");
        Item(t, BS_PUSHBUTTON | WS_TABSTOP, 163, h - 21, 50, 14, IDCANCEL, 0x0080, L"Cancel");
    }
    static conn::SecretText EditText(HWND dlg, int id) {
        wchar_t buffer[kMaxLength + 1] = {};
        const UINT n = ::GetDlgItemTextW(dlg, id, buffer, kMaxLength + 1);
        conn::SecretText text(std::wstring_view(buffer, n));
        ::SecureZeroMemory(buffer, sizeof buffer);
        return text;
    }
    // Empties both boxes, so that the typed text does not outlive the prompt:
    // first written over with as many blanks, which an edit box keeps in
    // the same memory, then cleared.
    static void ClearEdits(HWND dlg) {
        wchar_t blanks[kMaxLength + 1];
        for (int id : {kEdit, kEdit2}) {
            const int n = ::GetWindowTextLengthW(::GetDlgItem(dlg, id));
            for (int i = 0; i < n && i < kMaxLength; ++i) blanks[i] = L' ';
            blanks[n < kMaxLength ? n : kMaxLength] = L'\0';
            ::SetDlgItemTextW(dlg, id, blanks);
            ::SetDlgItemTextW(dlg, id, L"");
        }
    }
    static INT_PTR CALLBACK Proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_INITDIALOG) {
            ::SetWindowLongPtrW(dlg, DWLP_USER, lp);
            ::SendDlgItemMessageW(dlg, kEdit, EM_LIMITTEXT, kMaxLength, 0);
            ::SendDlgItemMessageW(dlg, kEdit2, EM_LIMITTEXT, kMaxLength, 0);
            return TRUE;
        }
        auto* self = reinterpret_cast<PassphraseDialog*>(::GetWindowLongPtrW(dlg, DWLP_USER));
        if (msg != WM_COMMAND || !self) return FALSE;
        if (LOWORD(wp) == IDCANCEL) {
            ClearEdits(dlg);
            ::EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        if (LOWORD(wp) != IDOK) return FALSE;
        conn::SecretText first = EditText(dlg, kEdit);
        const conn::SecretText second = self->m_newOne ? EditText(dlg, kEdit2) : conn::SecretText();
        const wchar_t* problem = nullptr;
        if (first.empty())
            problem = L"Type the passphrase.";
        else if (self->m_newOne && first.size() < 8)
            problem = L"The passphrase must have at least 8 characters.";
        else if (self->m_newOne && second != first)
            problem = L"The two passphrases differ.";
        if (problem) {
            ui::ShowMessageBox(dlg, problem, self->m_title.c_str(), MB_OK | MB_ICONEXCLAMATION);
            return TRUE;
        }
        self->m_result = std::move(first);
        ClearEdits(dlg);
        ::EndDialog(dlg, IDOK);
        return TRUE;
    }

    std::wstring m_title;
    bool m_newOne;
    conn::SecretText m_result;
};

}  // namespace

std::optional<conn::SecretText> AskPassphraseInWindow(HWND owner, const std::wstring& title, bool newOne) {
    return PassphraseDialog(title, newOne).Run(owner);
}
