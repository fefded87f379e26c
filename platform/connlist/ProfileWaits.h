// The waits of the profile list that the user sees and can end: for another
// program's lock on the store, and for the key of an export file. Each runs
// on a worker behind a progress window with Cancel (platform/ui/Progress.h),
// owned by the top-level window of `owner`, which keeps painting and
// answering; Cancel ends the action with nothing changed.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/connection/Win32ConnCrypto.h"
#include "platform/connection/ProfileStore.h"

// The store's lock: had at once when it is free (or cannot be used at all),
// else waited for on a worker for up to the store's usual wait. Held, or not
// with the reason; nothing when the user cancelled, and then nothing is held.
std::unique_ptr<conn::StoreLock> WaitForStoreLock(HWND owner, const std::wstring& caption,
                                                  const std::wstring& storePath);

// The export files' cipher whose key derivation runs on a worker behind a
// progress window saying `text`. Cancel gives no key and Cancelled() true; the
// abandoned derivation stops within a few thousand iterations.
class ProgressCipher : public conn::CngCipher {
public:
    ProgressCipher(HWND owner, std::wstring caption, std::wstring text);
    std::optional<conn::SecretBytes> DeriveKey(const conn::SecretBytes& passphrase, const std::string& salt,
                                               std::uint32_t iterations) const override;
    bool Cancelled() const override { return m_cancelled; }

private:
    HWND m_owner;
    std::wstring m_caption, m_text;
    mutable bool m_cancelled = false;
};
