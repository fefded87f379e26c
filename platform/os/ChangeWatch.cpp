#include "platform/os/ChangeWatch.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/os/Os.h"

namespace os {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr DWORD kKeyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
constexpr DWORD kFolderFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
// A wait that failed (a handle the system ended) is tried again after this
// long rather than at once, so that the thread never spins.
constexpr DWORD kRetryMs = 500;

// The key or folder above `path`, or nothing at the top.
std::wstring ParentKey(const std::wstring& path) {
    const std::size_t at = path.find_last_of(L'\\');
    return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

std::wstring ParentFolder(std::wstring path) {
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    const std::size_t at = path.find_last_of(L"\\/");
    if (at == std::wstring::npos) return {};
    std::wstring parent = path.substr(0, at);
    // "C:" is the current folder of drive C; its root is "C:\".
    if (parent.size() == 2 && parent[1] == L':') return parent + L'\\';
    // The top of a share ("\\server\share") is as far up as a watch goes.
    if (parent.size() < 3) return {};
    if (parent.rfind(L"\\\\", 0) == 0 && parent.find(L'\\', 2) == std::wstring::npos) return {};
    return parent;
}

// One watched place: the notification of the place itself (level 0) or of
// its nearest existing parent (level: how many steps up).
struct Place {
    bool key = false;
    bool subtree = true;  // with every folder below
    std::wstring path;
    HANDLE signal = nullptr;  // the key's event, or the folder's change handle
    HKEY open = nullptr;      // the key the event is armed on
    int level = -1;           // -1: nothing could be armed
    // A key's notification says nothing when the key itself is deleted: its
    // parent's tells (armed while the key exists).
    HANDLE guard = nullptr;
    HKEY guardOpen = nullptr;

    Place() = default;
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;
    ~Place() { CloseEvent(); }

    void Disarm() {
        if (open) ::RegCloseKey(open);
        open = nullptr;
        if (guardOpen) ::RegCloseKey(guardOpen);
        guardOpen = nullptr;
        if (!key && signal) ::FindCloseChangeNotification(signal);
        if (!key) signal = nullptr;
        level = -1;
    }

    // Arms the notification on the place, or on its nearest existing parent.
    void Arm() {
        // A place made just after its own arming failed and before its
        // parent's was armed would go unseen: then arm again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            ArmOnce();
            if (level <= 0 || !Exists(Below(level - 1))) return;
        }
    }

    // The path `up` steps above the place.
    std::wstring Below(int up) const {
        std::wstring at = path;
        for (int i = 0; i < up && !at.empty(); ++i) at = key ? ParentKey(at) : ParentFolder(at);
        return at;
    }

    bool Exists(const std::wstring& at) const {
        if (!key) return ::GetFileAttributesW(at.c_str()) != INVALID_FILE_ATTRIBUTES;
        HKEY h = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, at.c_str(), 0, KEY_NOTIFY, &h) != ERROR_SUCCESS) return false;
        ::RegCloseKey(h);
        return true;
    }

    void ArmOnce() {
        Disarm();
        if (key && !signal) signal = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (key && !signal) return;
        std::wstring at = path;
        for (int up = 0;; ++up) {
            if (key ? ArmKey(at, up == 0) : ArmFolder(at, up == 0)) {
                level = up;
                if (key && up == 0) ArmGuard();
                return;
            }
            if (at.empty()) return;
            at = key ? ParentKey(at) : ParentFolder(at);
            if (!key && at.empty()) return;
        }
    }

    bool ArmKey(const std::wstring& at, bool itself) {
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, at.empty() ? nullptr : at.c_str(), 0, KEY_NOTIFY, &open) !=
            ERROR_SUCCESS) {
            open = nullptr;
            return false;
        }
        // A parent tells only of keys coming and going below it (a key made
        // with the keys above it tells only its nearest parent, on some systems).
        if (::RegNotifyChangeKeyValue(open, TRUE, itself ? kKeyFilter : REG_NOTIFY_CHANGE_NAME, signal,
                                      TRUE) == ERROR_SUCCESS)
            return true;
        ::RegCloseKey(open);
        open = nullptr;
        return false;
    }

    void ArmGuard() {
        if (guardOpen) ::RegCloseKey(guardOpen);
        guardOpen = nullptr;
        if (!guard) guard = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
        const std::wstring parent = ParentKey(path);
        if (!guard || ::RegOpenKeyExW(HKEY_CURRENT_USER, parent.empty() ? nullptr : parent.c_str(), 0,
                                      KEY_NOTIFY, &guardOpen) != ERROR_SUCCESS) {
            guardOpen = nullptr;
            return;
        }
        if (::RegNotifyChangeKeyValue(guardOpen, FALSE, REG_NOTIFY_CHANGE_NAME, guard, TRUE) !=
            ERROR_SUCCESS) {
            ::RegCloseKey(guardOpen);
            guardOpen = nullptr;
        }
    }

    // After the guard's signal: whether the key went.
    bool GuardChanged() {
        if (Exists(path)) {
            ArmGuard();
            return false;
        }
        Arm();
        return true;
    }

    bool ArmFolder(const std::wstring& at, bool itself) {
        // Opening a device can block, and opening a pipe takes an instance
        // that belongs to another program: neither is a folder to watch.
        if (NamesDevice(at)) return false;
        HANDLE h = ::FindFirstChangeNotificationW(at.c_str(), itself && subtree ? TRUE : FALSE,
                                                  itself ? kFolderFilter : FILE_NOTIFY_CHANGE_DIR_NAME);
        if (h == INVALID_HANDLE_VALUE) return false;
        signal = h;
        return true;
    }

    // After its signal: whether the place itself changed (or came or went).
    bool Changed() {
        const int before = level;
        // A folder's handle goes on where it can; a key's notification is
        // armed anew each time (the key may have gone).
        // A folder that went is watched through its parent from now on.
        if (!key && level == 0 && Exists(path) && ::FindNextChangeNotification(signal)) return true;
        Arm();
        return before == 0 || level == 0;
    }

    void CloseEvent() {
        Disarm();
        if (key && signal) ::CloseHandle(signal);
        signal = nullptr;
        if (guard) ::CloseHandle(guard);
        guard = nullptr;
    }
};

}  // namespace

struct ChangeWatch::Shared {
    std::mutex lock;
    std::function<void()> ring;
    std::vector<std::wstring> keys, folders, shallow;
    std::uint64_t generation = 0;         // bumped by each Watch that changes the places
    std::atomic<std::uint64_t> armed{0};  // the generation the thread has armed
    std::atomic<std::size_t> rings{0};
    HANDLE stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE seen = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);  // a folder's thread saw a change
    std::chrono::milliseconds quiet, longest;

    Shared(std::chrono::milliseconds q, std::chrono::milliseconds l) : quiet(q), longest(l) {}
    ~Shared() {
        if (stop) ::CloseHandle(stop);
        if (wake) ::CloseHandle(wake);
        if (seen) ::CloseHandle(seen);
    }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    void Ring() {
        const std::lock_guard<std::mutex> guard(lock);
        ++rings;
        if (ring) ring();
    }
};

namespace {

// The folders of one Watch: each is watched on a thread of its own, since
// arming or looking at a folder on a share that stopped answering can hold
// its thread for good; the keys and the other folders go on meanwhile.
struct FolderGeneration {
    explicit FolderGeneration(std::uint64_t n, int places) : number(n), left(places + 1) {}
    ~FolderGeneration() {
        if (over) ::CloseHandle(over);
    }
    FolderGeneration(const FolderGeneration&) = delete;
    FolderGeneration& operator=(const FolderGeneration&) = delete;

    // One more of the places (or the keys, all together) is armed.
    void Armed(ChangeWatch::Shared& shared) {
        if (--left != 0) return;
        const std::lock_guard<std::mutex> guard(shared.lock);
        if (number > shared.armed) shared.armed = number;
    }

    std::uint64_t number;
    std::atomic<int> left;
    HANDLE over = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);  // a later Watch took its place
};

void WatchFolder(const std::shared_ptr<ChangeWatch::Shared>& shared,
                 const std::shared_ptr<FolderGeneration>& gen, const std::wstring& path, bool subtree) {
    Place place;
    place.subtree = subtree;
    place.path = path;
    place.Arm();
    gen->Armed(*shared);
    for (;;) {
        const std::array<HANDLE, 3> handles{shared->stop, gen->over, place.signal};
        const DWORD count = place.level >= 0 && place.signal ? 3 : 2;
        const DWORD result = ::WaitForMultipleObjects(count, handles.data(), FALSE, INFINITE);
        if (result == WAIT_OBJECT_0 + 2) {
            if (place.Changed()) ::SetEvent(shared->seen);
            continue;
        }
        if (result != WAIT_FAILED) return;
        if (::WaitForMultipleObjects(2, handles.data(), FALSE, kRetryMs) != WAIT_TIMEOUT) return;
        place.Arm();
    }
}

class Watcher {
public:
    explicit Watcher(std::shared_ptr<ChangeWatch::Shared> shared) : m_shared(std::move(shared)) {}
    ~Watcher() = default;
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    void Run() {
        for (;;) {
            std::vector<HANDLE> handles{m_shared->stop, m_shared->wake, m_shared->seen};
            std::vector<std::pair<Place*, bool>> owners;  // the place, and whether its guard
            for (auto& place : m_places) {
                // A wait takes at most MAXIMUM_WAIT_OBJECTS handles.
                if (place->level < 0 || !place->signal || handles.size() + 2 > MAXIMUM_WAIT_OBJECTS) continue;
                handles.push_back(place->signal);
                owners.emplace_back(place.get(), false);
                if (!place->guardOpen) continue;
                handles.push_back(place->guard);
                owners.emplace_back(place.get(), true);
            }
            const DWORD result = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                                          FALSE, Timeout());
            if (result == WAIT_OBJECT_0) return;
            if (result == WAIT_OBJECT_0 + 1) {
                Rearm();
            } else if (result == WAIT_OBJECT_0 + 2) {
                Seen();
            } else if (result >= WAIT_OBJECT_0 + 3 && result < WAIT_OBJECT_0 + handles.size()) {
                const auto& [place, guard] = owners[result - WAIT_OBJECT_0 - 3];
                if (guard ? place->GuardChanged() : place->Changed()) Seen();
            } else if (result == WAIT_FAILED) {
                if (::WaitForSingleObject(m_shared->stop, kRetryMs) == WAIT_OBJECT_0) return;
                Rearm();
            }
            RingWhenDue();
        }
    }

private:
    // Milliseconds until a pending ring is due, or INFINITE.
    DWORD Timeout() const {
        if (!m_pending) return INFINITE;
        const auto due = std::min(m_last + m_shared->quiet, m_first + m_shared->longest);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - SteadyClock::now());
        return left.count() <= 0 ? 0 : static_cast<DWORD>(left.count()) + 1;
    }

    void Seen() {
        const auto now = SteadyClock::now();
        if (!m_pending) m_first = now;
        m_pending = true;
        m_last = now;
    }

    void RingWhenDue() {
        if (!m_pending) return;
        const auto now = SteadyClock::now();
        if (now < m_last + m_shared->quiet && now < m_first + m_shared->longest) return;
        m_pending = false;
        m_shared->Ring();
    }

    // The places of the latest Watch: the keys armed here, each folder on a
    // thread of its own (never on the owner's thread).
    void Rearm() {
        std::vector<std::wstring> keys, folders, shallow;
        std::uint64_t generation = 0;
        {
            const std::lock_guard<std::mutex> guard(m_shared->lock);
            keys = m_shared->keys;
            folders = m_shared->folders;
            shallow = m_shared->shallow;
            generation = m_shared->generation;
        }
        if (m_folders) ::SetEvent(m_folders->over);
        m_places.clear();
        const std::size_t places =
            std::min(keys.size() + folders.size() + shallow.size(), ChangeWatch::kMaxPlaces);
        const std::size_t keyCount = std::min(keys.size(), places);
        m_folders = std::make_shared<FolderGeneration>(generation, static_cast<int>(places - keyCount));
        for (std::size_t i = 0; i < keyCount; ++i) {
            auto place = std::make_unique<Place>();
            place->key = true;
            place->path = keys[i];
            place->Arm();
            m_places.push_back(std::move(place));
        }
        for (std::size_t i = keyCount; i < places; ++i) {
            const std::size_t at = i - keyCount;
            const bool deep = at < folders.size();
            std::thread(WatchFolder, m_shared, m_folders, deep ? folders[at] : shallow[at - folders.size()],
                        deep)
                .detach();
        }
        m_folders->Armed(*m_shared);
    }

    std::shared_ptr<ChangeWatch::Shared> m_shared;
    std::vector<std::unique_ptr<Place>> m_places;  // the keys
    std::shared_ptr<FolderGeneration> m_folders;
    bool m_pending = false;
    SteadyClock::time_point m_first, m_last;
};

}  // namespace

ChangeWatch::ChangeWatch(std::chrono::milliseconds quiet, std::chrono::milliseconds longest)
    : m_shared(std::make_shared<Shared>(quiet, longest)) {
    std::thread([shared = m_shared] {
        Watcher watcher(shared);
        watcher.Run();
    }).detach();
}

ChangeWatch::~ChangeWatch() {
    {
        const std::lock_guard<std::mutex> guard(m_shared->lock);
        m_shared->ring = nullptr;
    }
    ::SetEvent(m_shared->stop);
}

void ChangeWatch::SetRing(std::function<void()> ring) {
    const std::lock_guard<std::mutex> guard(m_shared->lock);
    m_shared->ring = std::move(ring);
}

void ChangeWatch::Watch(std::vector<std::wstring> keys, std::vector<std::wstring> folders,
                        std::vector<std::wstring> shallowFolders) {
    {
        const std::lock_guard<std::mutex> guard(m_shared->lock);
        if (keys == m_shared->keys && folders == m_shared->folders && shallowFolders == m_shared->shallow)
            return;
        m_shared->keys = std::move(keys);
        m_shared->folders = std::move(folders);
        m_shared->shallow = std::move(shallowFolders);
        ++m_shared->generation;
    }
    ::SetEvent(m_shared->wake);
}

std::size_t ChangeWatch::Rings() const { return m_shared->rings; }

bool ChangeWatch::Armed() const {
    const std::lock_guard<std::mutex> guard(m_shared->lock);
    return m_shared->armed == m_shared->generation;
}

}  // namespace os
