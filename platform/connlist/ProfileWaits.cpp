#include "platform/connlist/ProfileWaits.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <stop_token>

#include "platform/connection/Pbkdf2.h"
#include "platform/ui/Progress.h"

namespace {

// The progress window is modal to the whole window, not only to the page.
HWND TopLevel(HWND owner) { return owner ? ::GetAncestor(owner, GA_ROOT) : nullptr; }

}  // namespace

std::unique_ptr<conn::StoreLock> WaitForStoreLock(HWND owner, const std::wstring& caption,
                                                  const std::wstring& storePath) {
    auto now = std::make_unique<conn::StoreLock>(storePath, 0);
    if (now->GetState() != conn::StoreLock::State::Busy) return now;
    now.reset();
    // What the worker and this thread share; the worker keeps it for as long
    // as it runs, and lets go of a lock it gets after the wait was given up.
    struct Wait {
        std::mutex mutex;
        std::atomic<bool> stop{false};
        std::unique_ptr<conn::StoreLock> lock;
        bool givenUp = false;
    };
    auto wait = std::make_shared<Wait>();
    const bool finished = ui::RunWithProgress(
        TopLevel(owner), caption,
        L"Another program is changing the connection profiles. Waiting for it to finish...",
        [wait, storePath](const std::stop_token& stop) {
            const std::stop_callback onStop(stop, [&wait] { wait->stop = true; });
            auto lock =
                std::make_unique<conn::StoreLock>(storePath, conn::ProfileStore::kLockWaitMs, &wait->stop);
            const std::lock_guard<std::mutex> guard(wait->mutex);
            if (!wait->givenUp) wait->lock = std::move(lock);
        });
    const std::lock_guard<std::mutex> guard(wait->mutex);
    wait->givenUp = true;
    if (!finished) return nullptr;  // a lock had meanwhile goes with the last owner of `wait`
    return std::move(wait->lock);
}

ProgressCipher::ProgressCipher(HWND owner, std::wstring caption, std::wstring text)
    : m_owner(TopLevel(owner)), m_caption(std::move(caption)), m_text(std::move(text)) {}

std::optional<conn::SecretBytes> ProgressCipher::DeriveKey(const conn::SecretBytes& passphrase,
                                                           const std::string& salt,
                                                           std::uint32_t iterations) const {
    // The worker's own copy of the passphrase: this one is gone once a Cancel returns.
    struct Derivation {
        conn::SecretBytes passphrase;
        std::string salt;
        std::uint32_t iterations;
        std::optional<conn::SecretBytes> key;
    };
    auto job = std::make_shared<Derivation>(Derivation{passphrase, salt, iterations, std::nullopt});
    m_cancelled = !ui::RunWithProgress(m_owner, m_caption, m_text, [job](const std::stop_token& stop) {
        job->key = conn::Pbkdf2Sha256(job->passphrase, job->salt, job->iterations,
                                      [&stop] { return !stop.stop_requested(); });
        job->passphrase.clear();
    });
    if (m_cancelled) return std::nullopt;
    return std::move(job->key);
}
