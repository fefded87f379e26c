// The prompt for the passphrase that seals or opens the passwords of an
// export file, built in memory so that it needs no resource. Choosing a new
// passphrase asks for it twice and for at least 8 characters.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/connection/Secret.h"

// The passphrase typed, or nothing when the user cancelled. The text is read
// from the boxes straight into a secret, and the boxes are overwritten before
// the prompt closes, so that it outlives the prompt nowhere else.
std::optional<conn::SecretText> AskPassphraseInWindow(HWND owner, const std::wstring& title, bool newOne);
