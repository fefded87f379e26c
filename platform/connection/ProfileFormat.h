// The parts of the profile text format that the store and export files
// share: reading lines and fields, the first line, the body of profiles, and
// writing a profile. Used only inside platform/connection.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/connection/ProfileFile.h"

namespace conn {

std::wstring Num(std::size_t n);
std::wstring Widen(std::string_view ascii);
bool AllDigits(std::string_view s);
// The value of at most nine decimal digits (callers check them first), read
// without anything that could throw.
unsigned long ToNumber(std::string_view digits);
// Upper-case hexadecimal of a code point, 4 to 6 digits.
std::wstring Hex(std::uint32_t c);
// C0 and C1 control characters and DEL.
bool IsControl(char16_t u);
bool SplitField(std::string_view line, std::string_view& key, std::string_view& value);

FileResult Fail(FileError code, std::wstring message);
FileResult LineFail(std::size_t line, const std::wstring& what);

// The lines of a file, one at a time, without copying them: a file of
// millions of short lines costs no more memory than the file itself.
class Lines {
public:
    Lines(std::string_view raw, std::size_t start) : m_raw(raw), m_pos(start) {}
    // The next line without its line end; false at the end of the file.
    bool Next(std::string_view& line);
    // The number of the line Next gave last (the first line is 1).
    std::size_t Number() const { return m_number; }

private:
    std::string_view m_raw;
    std::size_t m_pos;
    std::size_t m_number = 0;
};

// Common reading of both files: size (at most maxBytes), byte-order mark, the
// first line with its format name and a version from 1 to maxVersion. Leaves
// `lines` after the first line.
FileResult OpenFile(const std::string& raw, const char* magic, const wchar_t* kindName, unsigned maxVersion,
                    std::size_t maxBytes, Lines& lines, unsigned& version);

struct BodyOptions {
    FileKind kind = FileKind::Store;
    bool sealed = false;  // export with password.sealed fields
};

// One profile as read, with its protected or sealed password as it stands.
struct Item {
    CONN_INFO info;
    std::string secret;
    std::size_t line = 0;  // of the "profile" line
};

// Reads the profiles that follow up to the "eof" line.
FileResult ReadBody(Lines& lines, const BodyOptions& opt, std::vector<Item>& out);

// Appends one profile; `secret`, when not empty, as the field `secretKey`.
void AppendProfile(std::string& out, const CONN_INFO& p, const char* secretKey, const std::string& secret);

// ProfileProblem with the password aside: what a file without passwords may hold.
std::wstring SettingsProblem(const CONN_INFO& p, FileKind kind);

// How the messages of a writer name a profile.
std::wstring ProfileSubject(const CONN_INFO& p);

}  // namespace conn
