// Changes to registry keys and folders that other programs make, told to the
// thread that owns the watch (the interface thread):
//
//   watch.SetRing([hwnd] { ::PostMessageW(hwnd, kChangesSeen, 0, 0); });
//   watch.Watch({L"Software\\Zerudozuz\\Product"}, {L"C:\\Scripts"});
//   ...on kChangesSeen: read the page again in the background.
//
// The rules:
// - Keys (below HKEY_CURRENT_USER: their values and subkeys) and folders
//   (their names, sizes and last writes, with every folder below) are watched
//   with the system's change notifications, not by polling, never on the
//   owner's thread: the keys on a thread of the watch's own, which also
//   gathers the changes and rings, and each folder on a thread of its own,
//   since arming or looking at a folder on a share that stopped answering can
//   hold its thread for good (the keys and the other folders go on).
// - A key or folder that does not exist yet is watched through its nearest
//   existing parent, for its appearance; one that goes away is watched that
//   way again. Its appearing and going are changes; the parent's other
//   changes are not.
// - A burst of changes costs one ring: the watch rings once the changes have
//   been quiet for a short while, and during a burst that does not end at
//   least once per longest wait. Only the places' own changes ring, never
//   a call to Watch.
// - The ring is the one call the watcher thread makes into the owner; it must
//   only post, under the watch's lock, never after the watch is gone.
// - Destroying the watch waits for nothing: its threads, even one held by a
//   share that does not answer, end on their own when they get back.
// - One watch holds at most kMaxPlaces places (a wait takes 64 handles, and
//   a key takes two: its own and its parent's, which tells of its deletion);
//   the ones past that are not watched (the owner's F5 still reads them).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace os {

class ChangeWatch {
public:
    static constexpr std::size_t kMaxPlaces = 30;

    explicit ChangeWatch(std::chrono::milliseconds quiet = std::chrono::milliseconds(200),
                         std::chrono::milliseconds longest = std::chrono::milliseconds(1000));
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // What tells the owner that something changed: called on the watcher
    // thread, under the watch's lock.
    void SetRing(std::function<void()> ring);
    // Watches these keys (paths below HKEY_CURRENT_USER), folders (with every
    // folder below) and shallow folders (their own entries only) from now on,
    // in place of the earlier ones; the same places again change nothing.
    void Watch(std::vector<std::wstring> keys, std::vector<std::wstring> folders,
               std::vector<std::wstring> shallowFolders = {});
    // How many times the watch has rung.
    std::size_t Rings() const;
    // Whether every place of the last Watch has its notification armed (for
    // tests: a change made before that may go unseen).
    bool Armed() const;

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

}  // namespace os
