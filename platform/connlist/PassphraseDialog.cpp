#include "platform/connlist/PassphraseDialog.h"

#include <vector>

#include "platform/ui/Dialog.h"

namespace {

// The passphrase prompt, built in memory so that it needs no resource.
class PassphraseDialog : public ui::Dialog {
public:
    PassphraseDialog(const std::wstring& title, bool newOne)
        : Dialog(0, nullptr), m_title(title), m_newOne(newOne) {}

    std::optional<conn::SecretText> Run(HWND owner) {
        if (DoModalIndirect(Build().Get(), owner) != IDOK) return std::nullopt;
        return std::move(m_result);
    }

private:
    enum { kEdit = 100, kEdit2 = 101, kMaxLength = 1000 };

    ui::DialogTemplate Build() const {
        using T = ui::DialogTemplate;
        const LONG h = m_newOne ? 96 : 66;
        T t(DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, m_title.c_str(), 220,
            static_cast<short>(h));
        t.Item(SS_LEFT, RECT{7, 7, 206, 18}, 0xFFFF, T::kStatic,
               m_newOne ? L"Passwords are encrypted under this passphrase (at least 8 characters):"
                        : L"The passwords in this file are protected by a passphrase:");
        const DWORD edit = ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
        t.Item(edit, RECT{7, 26, 206, 13}, kEdit, T::kEdit, L"");
        if (m_newOne) {
            t.Item(SS_LEFT, RECT{7, 44, 206, 9}, 0xFFFF, T::kStatic, L"Type it again:");
            t.Item(edit, RECT{7, 55, 206, 13}, kEdit2, T::kEdit, L"");
        }
        t.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, RECT{109, h - 21, 50, 14}, IDOK, T::kButton, L"OK");
        t.Item(BS_PUSHBUTTON | WS_TABSTOP, RECT{163, h - 21, 50, 14}, IDCANCEL, T::kButton, L"Cancel");
        return t;
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
    BOOL OnInitDialog() override {
        ::SendDlgItemMessageW(m_hwnd, kEdit, EM_LIMITTEXT, kMaxLength, 0);
        ::SendDlgItemMessageW(m_hwnd, kEdit2, EM_LIMITTEXT, kMaxLength, 0);
        return TRUE;
    }
    void OnCancel() override {
        ClearEdits(m_hwnd);
        EndDialog(IDCANCEL);
    }
    void OnOK() override {
        conn::SecretText first = EditText(m_hwnd, kEdit);
        const conn::SecretText second = m_newOne ? EditText(m_hwnd, kEdit2) : conn::SecretText();
        const wchar_t* problem = nullptr;
        if (first.empty())
            problem = L"Type the passphrase.";
        else if (m_newOne && first.size() < 8)
            problem = L"The passphrase must have at least 8 characters.";
        else if (m_newOne && second != first)
            problem = L"The two passphrases differ.";
        if (problem) {
            ui::ShowMessageBox(m_hwnd, problem, m_title.c_str(), MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        m_result = std::move(first);
        ClearEdits(m_hwnd);
        EndDialog(IDOK);
    }

    std::wstring m_title;
    bool m_newOne;
    conn::SecretText m_result;
};

}  // namespace

std::optional<conn::SecretText> AskPassphraseInWindow(HWND owner, const std::wstring& title, bool newOne) {
    return PassphraseDialog(title, newOne).Run(owner);
}
