// The suite's one store of connection profiles, a file per user:
//   %APPDATA%\Zerudozuz\Connections\profiles.zcp
// in the store format of ProfileFile.h (passwords only DPAPI-protected).
//
// Every write is atomic: the new store goes to a temporary file in the same
// folder, is flushed to disk, and then replaces the old one with
// MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH); a failure
// or a kill at any point leaves either the old or the new store whole. Paths
// are handed to the system in their long form (\\?\), so that a temporary
// name a little longer than the store's never fails on the path length.
// Readers open the store with read and delete sharing and hold it only while
// they read it; a replace that another program's open handle holds up is
// tried again for a few seconds before it is reported.
//
// A store that is damaged (bad structure, truncated) is moved aside untouched
// to profiles.zcp.unreadable-YYYYMMDD-HHMMSS and reported, under the lock and
// only while the file still holds the bytes that were judged: of two programs
// that find it damaged at once, one sets it aside and both say where it went.
// A store that may be sound but that this version cannot take (a newer
// format, more profiles or bytes than it keeps) stays where it is: the
// session is read-only and never writes over it. So does a store that cannot
// be opened at all.
//
// Programs change the store by read-change-write under a lock (Update), so
// that two of them loading files at once do not lose each other's profiles.
// The lock is profiles.zcp.lock, opened without sharing and deleted when
// closed; the system releases it when its holder ends, however it ends. A
// lock path that is no plain file of its own (a folder, a read-only file, a
// link) is never deleted: it cannot be used, and that is said at once rather
// than waited for.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/connection/CONN_INFO.h"

namespace conn {

struct FileResult;

// The form in which a full path is handed to the system: "\\?\C:\..." or
// "\\?\UNC\server\share\...", which the path length limit does not apply to.
std::wstring LongPathForm(const std::wstring& path);

// Writes a whole file atomically (temporary file in the same folder, flush,
// replace); `beforeReplace` may abandon the write after the temporary file is
// complete. False with a message on failure; the old file is then unchanged.
bool WriteFileAtomic(const std::wstring& path, const std::string& bytes, std::wstring& error,
                     const std::function<bool(const std::wstring&)>& beforeReplace = {});

// How ReadFileUpTo ended.
enum class FileRead { Done, TooLarge, CannotOpen, CannotRead };
// Reads a whole file, handing the system its long path form, with sharing that
// lets another program replace or delete the file meanwhile. A file larger
// than `limit` is not read (TooLarge). On CannotOpen and CannotRead,
// `systemError` holds the system's error code.
FileRead ReadFileUpTo(const std::wstring& path, std::size_t limit, std::string& bytes,
                      unsigned long& systemError);

// The store's lock, held from construction to destruction when Held().
class StoreLock {
public:
    enum class State { Held, Busy, Unusable, Cancelled };

    // Waits up to waitMs for another holder to let go; `cancel`, when given,
    // ends the wait as soon as it is set.
    StoreLock(const std::wstring& storePath, unsigned waitMs, const std::atomic<bool>* cancel = nullptr);
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool Held() const { return m_state == State::Held; }
    // Busy: another program held it all the wait; Unusable: the lock path or
    // its folder cannot be used at all, whatever the wait.
    State GetState() const { return m_state; }
    // Why the lock was not had, for the user.
    const std::wstring& Problem() const { return m_problem; }

private:
    struct Lock;  // the open lock file
    // One try: true when it is decided (held or unusable), false when busy.
    bool TryOnce(const std::wstring& lockPath);

    std::unique_ptr<Lock> m_lock;
    State m_state = State::Busy;
    std::wstring m_problem;
};

class ProfileStore {
public:
    static constexpr unsigned kLockWaitMs = 5000;

    // The default location above; an empty path when APPDATA is unknown.
    static std::wstring DefaultPath();

    explicit ProfileStore(std::wstring path = DefaultPath()) : m_path(std::move(path)) {}
    virtual ~ProfileStore() = default;

    const std::wstring& Path() const { return m_path; }

    struct LoadResult {
        std::vector<CONN_INFO> profiles;
        std::wstring problem;  // for the user; empty when the store was read or did not exist
        std::wstring movedTo;  // where a damaged store was put (by this or another program)
    };
    // Reads the store; a missing store is an empty one.
    LoadResult Load();
    // Writes the whole store atomically; false with a message on failure,
    // also when the profiles go past what a store keeps (FitsStore).
    bool Save(const std::vector<CONN_INFO>& profiles, std::wstring& error);
    // False after Load found a store that it must not write over.
    bool Writable() const { return m_writable; }

    // Under the lock: reads the store as it is on disk, lets `change` alter
    // the profiles (it returns whether there is anything to write) and saves
    // them. A store that cannot be read or the lock not had within waitMs
    // changes nothing; `result.problem` then says why.
    LoadResult Update(const std::function<bool(std::vector<CONN_INFO>&)>& change,
                      unsigned waitMs = kLockWaitMs);
    // The same with a lock the caller has already taken (Held()).
    LoadResult Update(const std::function<bool(std::vector<CONN_INFO>&)>& change, const StoreLock& lock);

protected:
    // Called after the temporary file is complete and flushed, before it
    // replaces the store; returning false abandons the write there.
    virtual bool BeforeReplace(const std::wstring& tempPath);
    // Called when a store read without the lock was judged damaged, before
    // the lock is taken to set it aside.
    virtual void AfterJudgedDamaged() {}

private:
    LoadResult Read(bool lockHeld);
    // A store that holds no profiles this version can take: left alone when
    // it may be sound, else set aside.
    LoadResult Unreadable(const FileResult& parsed, const std::string& bytes, bool lockHeld);
    // Sets aside a damaged store under the lock, if it still holds `judged`.
    LoadResult SetAside(const FileResult& parsed, const std::string& judged);

    std::wstring m_path;
    bool m_writable = true;
};

}  // namespace conn
