// The suite's one store of connection profiles, a file per user:
//   %APPDATA%\Zerudozuz\Connections\profiles.zcp
// in the store format of ProfileFile.h (passwords only DPAPI-protected).
//
// Every write is atomic: the new store goes to a temporary file in the same
// folder, is flushed to disk, and then replaces the old one with
// MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH); a failure
// or a kill at any point leaves either the old or the new store whole. A
// store that cannot be read is moved aside untouched to
// profiles.zcp.unreadable-YYYYMMDD-HHMMSS and reported; if even that fails,
// the store is left as it is and this object refuses to write over it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/connection/CONN_INFO.h"

namespace conn {

// Writes a whole file atomically (temporary file in the same folder, flush,
// replace); `beforeReplace` may abandon the write after the temporary file is
// complete. False with a message on failure; the old file is then unchanged.
bool WriteFileAtomic(const std::wstring& path, const std::string& bytes, std::wstring& error,
                     const std::function<bool(const std::wstring&)>& beforeReplace = {});

class ProfileStore {
public:
    // The default location above; an empty path when APPDATA is unknown.
    static std::wstring DefaultPath();

    explicit ProfileStore(std::wstring path = DefaultPath()) : m_path(std::move(path)) {}
    virtual ~ProfileStore() = default;

    const std::wstring& Path() const { return m_path; }

    struct LoadResult {
        std::vector<CONN_INFO> profiles;
        std::wstring problem;  // for the user; empty when the store was read or did not exist
        std::wstring movedTo;  // where an unreadable store was put
    };
    // Reads the store; a missing store is an empty one.
    LoadResult Load();
    // Writes the whole store atomically; false with a message on failure.
    bool Save(const std::vector<CONN_INFO>& profiles, std::wstring& error);
    // False after Load found a store it could neither read nor move aside.
    bool Writable() const { return m_writable; }

protected:
    // Called after the temporary file is complete and flushed, before it
    // replaces the store; returning false abandons the write there.
    virtual bool BeforeReplace(const std::wstring& tempPath);

private:
    std::wstring m_path;
    bool m_writable = true;
};

}  // namespace conn
