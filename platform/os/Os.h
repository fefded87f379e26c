// Seams to the Windows services the hub reads. The portable core talks only to
// these interfaces, so it builds and is unit-tested natively; Win32Os.cpp
// implements them over the real registry, file system and version resources.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace os {

// Outcome of one registry value read below HKEY_CURRENT_USER.
enum class RegStatus {
    Ok,        // the value was read completely into the offered buffer
    NoKey,     // the key could not be opened
    NoValue,   // the key exists but the value does not
    MoreData,  // the value exists but does not fit into the offered byte count
    Error,     // any other failure (access denied, ...)
};

struct RegValue {
    RegStatus status = RegStatus::NoKey;
    std::uint32_t type = 0;           // REG_SZ = 1, REG_BINARY = 3, REG_DWORD = 4, ...
    std::vector<unsigned char> data;  // exactly the bytes the system returned
};

class IRegistry {
public:
    virtual ~IRegistry() = default;
    // Whether HKCU\subKey can be opened for reading.
    virtual bool KeyExists(const std::wstring& subKey) = 0;
    // Reads HKCU\subKey, value `name`, offering a buffer of maxBytes bytes, as
    // RegQueryValueExW does: data larger than maxBytes gives MoreData.
    virtual RegValue QueryValue(const std::wstring& subKey, const std::wstring& name,
                                std::size_t maxBytes) = 0;
};

// The text of a registry value's data taken as UTF-16LE: it ends at the first
// NUL code unit or at the end of the data; an odd trailing byte is the low
// byte of a last code unit (as read into a zero-filled buffer).
// One wchar_t per UTF-16 code unit, on every platform.
std::wstring RegText(const std::vector<unsigned char>& data);

// Encodes text as UTF-16LE bytes with a terminating NUL, as REG_SZ stores it.
std::vector<unsigned char> RegBytes(const std::wstring& text);

// Whether two texts are equal when letter case is ignored, as the system
// compares file names: UTF-16 code unit by code unit, each through the
// system's simple upper-case mapping (CompareStringOrdinal ignoring case).
// Natively, for the portable core's tests, the C library's Unicode mapping
// of the pairs of cases stands in for the system's table.
bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b);

// Whether a path names a device rather than a file: a port, printer, console
// or the null device in any of their DOS spellings (any case, with an
// extension, trailing blanks or dots, "COM1:"), anything in the device
// namespaces (\\.\, \\?\ or \??\ other than a path on a drive, a share or a
// volume; a volume itself, with nothing after it, is a device), and named
// pipes and mailslots, also on another machine. Judged by the name alone, so
// that nothing is opened: opening a device or a pipe can block or take a
// pipe instance that belongs to another program.
bool NamesDevice(const std::wstring& path);

// What the directory entry of a regular disk file says.
struct FileFacts {
    std::int64_t lastWrite = 0;  // seconds since 1970-01-01 UTC
    std::uint64_t size = 0;      // bytes
    bool operator==(const FileFacts&) const = default;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    // The path names a file or a folder on a disk; a device or a pipe does
    // not count. Reads the directory entry only and never opens the path.
    virtual bool Exists(const std::wstring& path) = 0;
    // The facts of a regular file on a disk; nothing when the path is missing,
    // a folder, a device or a pipe. Reads the directory entry only and never
    // opens the path.
    virtual std::optional<FileFacts> RegularFile(const std::wstring& path) = 0;
};

// The numbers of a VS_FIXEDFILEINFO that the hub uses.
struct FixedVersion {
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    std::uint32_t fileVersionMS = 0;
    std::uint32_t fileVersionLS = 0;
};

class IVersionReader {
public:
    virtual ~IVersionReader() = default;
    // The fixed version record of an executable's version resource, or
    // nothing when the file has none, it cannot be read or lacks its root block.
    virtual std::optional<FixedVersion> ReadFixedVersion(const std::wstring& path) = 0;
};

class IProfileReader {
public:
    virtual ~IProfileReader() = default;
    // GetPrivateProfileStringW(section, key, "", buffer of 260, path): the value
    // or the empty text, cut to 259 characters.
    virtual std::wstring GetString(const std::wstring& section, const std::wstring& key,
                                   const std::wstring& path) = 0;
};

class IClock {
public:
    virtual ~IClock() = default;
    // Converts a UTC time (seconds since 1970) to local time and formats it
    // with wcsftime conventions into a buffer of 128 characters; the empty
    // text when the conversion or the formatting fails.
    virtual std::wstring FormatLocal(std::int64_t utcSeconds, const wchar_t* format) = 0;
};

// The same reads as free functions that keep no state, for workers
// (platform/os/BackgroundReads.h): a worker that comes back from the kernel
// while the process ends must find nothing of the process's objects in use.
// What a path's directory entry says, never opening it: nothing when the path
// is missing or names a device or a pipe.
struct PathFacts {
    bool folder = false;
    FileFacts file;  // of a regular file; zero for a folder
};
std::optional<PathFacts> PathFactsOf(const std::wstring& path);
// IVersionReader::ReadFixedVersion: the file is read, never mapped or loaded
// (loading a file as a module holds the process's loader lock, so a program
// on a share that stopped answering would hold up every thread).
std::optional<FixedVersion> FixedVersionOf(const std::wstring& path);

// Reads `size` bytes at `offset` of a file into `out`; false when the file
// ends first or cannot be read.
using ReadAt = std::function<bool(std::uint64_t offset, std::size_t size, unsigned char* out)>;
// The fixed version record of a program's version resource, read through
// `read` from its PE headers and resource directory; nothing when the file is
// no PE image, has no version resource or the record is not there whole.
std::optional<FixedVersion> FixedVersionOfImage(const ReadAt& read);
// The fixed version record at the start of a version resource's `size` bytes.
std::optional<FixedVersion> FixedVersionOfBlock(const unsigned char* block, std::size_t size);
// This program's own version record, from its image already in memory: no
// file is read, so the interface thread may ask at any time.
std::optional<FixedVersion> OwnFixedVersion();
// IProfileReader::GetString.
std::wstring ProfileStringOf(const std::wstring& section, const std::wstring& key, const std::wstring& path);
// The values of keys of one section of an INI-style file of at most maxBytes,
// read as the profile-string call reads them (ProfileValue), the file read
// once. A worker reads descriptors this way rather than through the system's
// profile call, which reads every file of the process under one lock: one
// descriptor that never answers would hold up all the others.
std::vector<std::wstring> ProfileStringsOf(const std::wstring& path, const std::wstring& section,
                                           const std::vector<std::wstring>& keys, std::size_t maxBytes);

// The value of `key` in `section` of an INI text as the profile-string call
// gives it: section and key names compared ignoring case (a key may have an
// empty name), blanks around names and values removed, only the first
// section of a name read, a value in double quotes without them, lines
// starting with ';' skipped, the first match taken, cut to 259 characters;
// the empty text when there is none.
std::wstring ProfileValue(const std::wstring& text, const std::wstring& section, const std::wstring& key);

// The full path of the running program's executable, and its folder (no
// trailing backslash); empty when the system cannot say (Windows builds only).
std::wstring ProgramPath();
std::wstring ProgramFolder();

// The real services of the machine the hub runs on (Windows builds only).
IRegistry& Registry();
IFileSystem& FileSystem();
IVersionReader& VersionReader();
IProfileReader& ProfileReader();
IClock& Clock();

}  // namespace os
