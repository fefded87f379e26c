#include "platform/connection/ProfileFile.h"

#include <cstring>
#include <map>
#include <string_view>

#include "platform/connection/ConnText.h"

namespace conn {

namespace {

const char kStoreMagic[] = "ZQ-PROFILES";
const char kExportMagic[] = "ZQ-EXPORT";
const char kCheckText[] = "Zerudozuz connection profiles";
constexpr std::size_t kNonce = 12;
constexpr std::size_t kTag = 16;

std::wstring Num(std::size_t n) { return std::to_wstring(n); }

bool IsControl(char16_t u) { return u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0); }

const char* HexDigits() { return "0123456789ABCDEF"; }

FileResult Fail(FileError code, std::wstring message) {
    FileResult r;
    r.error = code;
    r.message = std::move(message);
    return r;
}

FileResult LineFail(std::size_t line, const std::wstring& what) {
    return Fail(FileError::Malformed, L"Line " + Num(line) + L": " + what);
}

// The lines of a file, one at a time, without copying them: a file of
// millions of short lines costs no more memory than the file itself.
class Lines {
public:
    Lines(std::string_view raw, std::size_t start) : m_raw(raw), m_pos(start) {}
    // The next line without its line end; false at the end of the file.
    bool Next(std::string_view& line) {
        if (m_pos >= m_raw.size()) return false;
        std::size_t end = m_raw.find('\n', m_pos);
        if (end == std::string_view::npos) end = m_raw.size();
        line = m_raw.substr(m_pos, end - m_pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        m_pos = end + 1;
        ++m_number;
        return true;
    }
    // The number of the line Next gave last (the first line is 1).
    std::size_t Number() const { return m_number; }

private:
    std::string_view m_raw;
    std::size_t m_pos;
    std::size_t m_number = 0;
};

bool AllDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// The value of at most nine decimal digits (callers check them first), read
// without anything that could throw.
unsigned long ToNumber(std::string_view digits) {
    unsigned long n = 0;
    for (char c : digits) n = n * 10 + static_cast<unsigned long>(c - '0');
    return n;
}

std::wstring Widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Common reading of both files: size, byte-order mark, the first line with
// its format name and a version from 1 to maxVersion. Leaves `lines` after
// the first line.
FileResult OpenFile(const std::string& raw, const char* magic, const wchar_t* kindName, unsigned maxVersion,
                    Lines& lines, unsigned& version) {
    if (raw.empty()) return Fail(FileError::Empty, L"The file is empty.");
    if (raw.size() > kMaxFileBytes)
        return Fail(FileError::TooLarge,
                    std::wstring(L"The file is too large to be ") + kindName + L" (more than 8 MB).");
    const std::size_t start = raw.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    lines = Lines(raw, start);
    std::string_view first;
    if (!lines.Next(first)) return Fail(FileError::Empty, L"The file is empty.");
    if (first.empty() && raw.find_first_not_of("\r\n", start) == std::string::npos)
        return Fail(FileError::Empty, L"The file is empty.");
    // Every line the writer makes ends in a line break; a last line without
    // one (other than the closing count) is a cut-off copy.
    const std::size_t lastStart = raw.rfind('\n', raw.size() - 1);
    const std::string_view last =
        std::string_view(raw).substr(lastStart == std::string::npos ? start : lastStart + 1);
    const bool cutOff = raw.back() != '\n' &&
                        !(last.size() > 4 && last.compare(0, 4, "eof ") == 0 && AllDigits(last.substr(4)));
    const std::size_t mlen = std::strlen(magic);
    if (first.compare(0, mlen, magic) != 0 || first.size() < mlen + 2 || first[mlen] != ' ') {
        if (first.compare(0, 3, "ZQ-") == 0)
            return Fail(
                FileError::OtherFormat,
                std::wstring(L"The file holds profiles of another kind; it is not ") + kindName + L".");
        return Fail(FileError::OtherFormat, std::wstring(L"The file is not ") + kindName + L".");
    }
    const std::string_view number = first.substr(mlen + 1);
    if (number.size() > 9 || !AllDigits(number) || number[0] == '0')
        return Fail(FileError::OtherFormat, L"The file's version line is damaged.");
    if (cutOff) return Fail(FileError::Truncated, L"The file is truncated: its last line is cut off.");
    version = static_cast<unsigned>(ToNumber(number));
    if (version > maxVersion)
        return Fail(FileError::NewerVersion, L"The file was written by a newer version (format " +
                                                 Widen(number) + L"); this version reads format " +
                                                 Num(maxVersion) + L" and earlier.");
    return {};
}

bool SplitField(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) return false;
    key = line.substr(0, eq);
    value = line.substr(eq + 1);
    return true;
}

struct BodyOptions {
    bool store = false;
    bool sealed = false;           // export with password.sealed fields
    bool refuseInvisible = false;  // names with characters that do not show
};

struct Item {
    CONN_INFO info;
    std::string secret;
    std::size_t line = 0;  // of the "profile" line
};

std::wstring Hex(std::uint32_t c) {
    std::wstring out;
    for (int s = c > 0xFFFFF ? 20 : c > 0xFFFF ? 16 : 12; s >= 0; s -= 4)
        out += static_cast<wchar_t>(HexDigits()[(c >> s) & 0xF]);
    return out;
}

// Reads the fields of one profile, whose "profile" line is line lineNo, up to its "end" line.
FileResult ReadProfile(Lines& lines, const BodyOptions& opt, std::size_t lineNo, Item& item) {
    static const char* const kKeys[] = {"name", "kind",    "server",         "port",           "database",
                                        "user", "options", "password.dpapi", "password.sealed"};
    std::string_view line;
    item.line = lineNo;
    CONN_INFO& info = item.info;
    bool seen[9] = {};
    std::size_t nameLine = 0;
    while (true) {
        if (!lines.Next(line)) return Fail(FileError::Truncated, L"The file is truncated inside a profile.");
        const std::size_t fNo = lines.Number();
        if (line == "end") break;
        std::string_view key, raw;
        if (!SplitField(line, key, raw)) return LineFail(fNo, L"a field of the form name=value expected.");
        int k = -1;
        for (int n = 0; n < 9; ++n)
            if (key == kKeys[n]) k = n;
        if (k < 0 || (k == 7 && !opt.store) || (k == 8 && !opt.sealed))
            return LineFail(fNo, L"unknown field \"" + Widen(key.substr(0, 40)) + L"\".");
        if (seen[k]) return LineFail(fNo, L"the field appears twice in one profile.");
        seen[k] = true;
        if (k == 7 || k == 8) {
            const auto bytes = Base64Decode(std::string(raw), false);
            if (!bytes || bytes->empty() || bytes->size() > kMaxSecretBytes ||
                (k == 8 && bytes->size() < kNonce + kTag + 2))
                return LineFail(fNo, L"the protected password is damaged.");
            item.secret = *bytes;
            continue;
        }
        if (k == 3) {
            if (raw.size() > 5 || !AllDigits(raw) || ToNumber(raw) > 65535)
                return LineFail(fNo, L"the port must be a number from 0 to 65535.");
            info.port = static_cast<unsigned>(ToNumber(raw));
            continue;
        }
        const auto value = UnescapeValue(std::string(raw));
        if (!value) return LineFail(fNo, L"the value is not valid text (UTF-8 with \\ escapes).");
        if (raw.size() > CONN_INFO::kMaxField && ToUnits(*value).size() > CONN_INFO::kMaxField)
            return LineFail(fNo, L"the value is longer than " + Num(CONN_INFO::kMaxField) + L" characters.");
        std::wstring* targets[] = {&info.name,     &info.kind, &info.server, nullptr,
                                   &info.database, &info.user, &info.options};
        *targets[k] = *value;
        if (k == 0) nameLine = fNo;
    }
    if (!seen[0]) return LineFail(lines.Number(), L"the profile has no name.");
    if (!IsValidName(info.name))
        return LineFail(nameLine, L"the profile name is empty, longer than " + Num(CONN_INFO::kMaxName) +
                                      L" characters, or holds control characters.");
    if (opt.refuseInvisible) {
        if (const std::uint32_t c = FirstInvisible(info.name))
            return LineFail(nameLine, L"the profile name holds a character that does not show (U+" + Hex(c) +
                                          L"), so it could not be told from another name.");
    }
    return {};
}

// Reads the profiles that follow up to the "eof" line.
FileResult ReadBody(Lines& lines, const BodyOptions& opt, std::vector<Item>& out) {
    std::string_view line;
    while (true) {
        if (!lines.Next(line))
            return Fail(FileError::Truncated, L"The file is truncated: its last line is missing.");
        const std::size_t lineNo = lines.Number();
        if (line.compare(0, 4, "eof ") == 0) {
            const std::string_view n = line.substr(4);
            if (n.size() > 9 || !AllDigits(n)) return LineFail(lineNo, L"the closing count is not a number.");
            if (ToNumber(n) != out.size())
                return Fail(FileError::Truncated, L"The file is damaged: it announces " + Widen(n) +
                                                      L" profiles but holds " + Num(out.size()) + L".");
            if (lines.Next(line)) return LineFail(lineNo + 1, L"text after the end of the profiles.");
            return {};
        }
        if (line != "profile") return LineFail(lineNo, L"\"profile\" or \"eof\" expected.");
        if (out.size() >= kMaxProfiles)
            return Fail(FileError::TooMany, L"Line " + Num(lineNo) + L": the file holds more than " +
                                                Num(kMaxProfiles) +
                                                L" profiles, more than this version keeps.");
        Item item;
        if (FileResult r = ReadProfile(lines, opt, lineNo, item); !r.ok()) return r;
        out.push_back(std::move(item));
    }
}

void AppendField(std::string& out, const char* key, const std::wstring& value) {
    out += key;
    out += '=';
    out += EscapeValue(value);
    out += "\r\n";
}

void AppendProfile(std::string& out, const CONN_INFO& p, const char* secretKey, const std::string& secret) {
    out += "profile\r\n";
    AppendField(out, "name", p.name);
    AppendField(out, "kind", p.kind);
    AppendField(out, "server", p.server);
    out += "port=" + std::to_string(p.port > 65535 ? 0 : p.port) + "\r\n";
    AppendField(out, "database", p.database);
    AppendField(out, "user", p.user);
    AppendField(out, "options", p.options);
    if (!secret.empty()) out += std::string(secretKey) + "=" + Base64Encode(secret, false) + "\r\n";
    out += "end\r\n";
}

std::string NameAad(const std::wstring& name) { return UnitsToLe(ToUnits(name)); }

// The passphrase as the key derivation takes it; the caller wipes it.
std::string Utf8Passphrase(const std::wstring& passphrase) { return ToUtf8(ToUnits(passphrase)); }

// Whether a code point shows nothing of its own: format and joiner
// characters, bidirectional controls, invisible operators, variation
// selectors, tags and the Hangul fillers.
bool IsInvisible(std::uint32_t c) {
    return c == 0x00AD || c == 0x034F || c == 0x061C || c == 0x115F || c == 0x1160 || c == 0x17B4 ||
           c == 0x17B5 || (c >= 0x180B && c <= 0x180F) || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0x3164 ||
           (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF || c == 0xFFA0 || (c >= 0xFFF0 && c <= 0xFFF8) ||
           (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A) || (c >= 0xE0000 && c <= 0xE0FFF);
}

// Calls f(code point, first unit, unit count) for each code point of the units
// (an unpaired surrogate is a code point of its own).
template <class F>
void ForEachCodePoint(const std::u16string& units, F f) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t c = units[i];
        std::size_t n = 1;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            n = 2;
        }
        f(c, i, n);
        i += n - 1;
    }
}

class AsciiCase : public NameCase {
public:
    std::wstring Key(const std::wstring& name) const override {
        std::wstring key = name;
        for (wchar_t& c : key)
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        return key;
    }
};

// Gives clashing names "name (2)", "name (3)", ... without looking at any
// name twice: for each (key of the cut base, digit count) it remembers the
// first number not yet known to be taken. All candidates of one base and digit
// count are the same text but for the number, so a number it passed stays taken.
class Renamer {
public:
    Renamer(const NameCase& names, const std::map<std::wstring, std::size_t>& taken)
        : m_names(names), m_taken(taken) {}

    // The free name and its key.
    std::pair<std::wstring, std::wstring> FreeName(const std::wstring& wanted) {
        const std::u16string units = ToUnits(wanted);
        std::size_t n = 2;
        while (true) {
            const std::wstring digits = Num(n);
            const std::wstring suffix = L" (" + digits + L")";
            std::u16string baseUnits = units;
            if (baseUnits.size() + suffix.size() > CONN_INFO::kMaxName) {
                baseUnits.resize(CONN_INFO::kMaxName - suffix.size());
                if (!baseUnits.empty() && baseUnits.back() >= 0xD800 && baseUnits.back() <= 0xDBFF)
                    baseUnits.pop_back();  // do not split a pair
            }
            const std::wstring base = FromUnits(baseUnits);
            // Keys map units one to one and the suffix has no letters, so a
            // candidate's key is the base's key and the suffix.
            const std::wstring baseKey = m_names.Key(base);
            std::size_t& next = m_next[baseKey + L'\x1' + Num(digits.size())];
            std::size_t k = next > n ? next : n;
            for (; Num(k).size() == digits.size(); ++k) {
                const std::wstring tail = L" (" + Num(k) + L")";
                std::wstring key = baseKey + tail;
                if (m_taken.find(key) == m_taken.end()) {
                    next = k + 1;
                    return {base + tail, std::move(key)};
                }
            }
            next = k;
            n = k;  // the first number with one more digit
        }
    }

private:
    const NameCase& m_names;
    const std::map<std::wstring, std::size_t>& m_taken;
    std::map<std::wstring, std::size_t> m_next;
};

}  // namespace

std::string EscapeValue(const std::wstring& value) {
    const std::u16string units = ToUnits(value);
    std::u16string clean;
    std::string out;
    auto flush = [&] {
        out += ToUtf8(clean);
        clean.clear();
    };
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        const bool high = u >= 0xD800 && u <= 0xDBFF;
        const bool low = u >= 0xDC00 && u <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            clean.push_back(u);
            clean.push_back(units[++i]);
            continue;
        }
        if (u == u'\\' || u == u'\r' || u == u'\n' || u == u'\t' || IsControl(u) || high || low) {
            flush();
            out += '\\';
            if (u == u'\\')
                out += '\\';
            else if (u == u'\r')
                out += 'r';
            else if (u == u'\n')
                out += 'n';
            else if (u == u'\t')
                out += 't';
            else {
                out += 'u';
                for (int s = 12; s >= 0; s -= 4) out += HexDigits()[(u >> s) & 0xF];
            }
            continue;
        }
        clean.push_back(u);
    }
    flush();
    return out;
}

std::optional<std::wstring> UnescapeValue(const std::string& utf8) {
    const auto units = FromUtf8(utf8);
    if (!units) return std::nullopt;
    std::u16string out;
    out.reserve(units->size());
    for (std::size_t i = 0; i < units->size(); ++i) {
        const char16_t u = (*units)[i];
        if (IsControl(u)) return std::nullopt;  // controls are always escaped
        if (u != u'\\') {
            out.push_back(u);
            continue;
        }
        if (++i >= units->size()) return std::nullopt;
        const char16_t e = (*units)[i];
        if (e == u'\\')
            out.push_back(u'\\');
        else if (e == u'r')
            out.push_back(u'\r');
        else if (e == u'n')
            out.push_back(u'\n');
        else if (e == u't')
            out.push_back(u'\t');
        else if (e == u'u') {
            if (i + 4 >= units->size()) return std::nullopt;
            char16_t v = 0;
            for (int k = 1; k <= 4; ++k) {
                const char16_t h = (*units)[i + k];
                int d;
                if (h >= u'0' && h <= u'9')
                    d = h - u'0';
                else if (h >= u'A' && h <= u'F')
                    d = h - u'A' + 10;
                else
                    return std::nullopt;
                v = static_cast<char16_t>((v << 4) | d);
            }
            i += 4;
            out.push_back(v);
        } else {
            return std::nullopt;
        }
    }
    return FromUnits(out);
}

bool IsValidName(const std::wstring& name) {
    const std::u16string units = ToUnits(name);
    if (units.empty() || units.size() > CONN_INFO::kMaxName) return false;
    for (char16_t u : units)
        if (IsControl(u)) return false;
    return true;
}

std::uint32_t FirstInvisible(const std::wstring& name) {
    std::uint32_t found = 0;
    ForEachCodePoint(ToUnits(name), [&](std::uint32_t c, std::size_t, std::size_t) {
        if (!found && IsInvisible(c)) found = c;
    });
    return found;
}

std::wstring VisibleName(const std::wstring& name) {
    const std::u16string units = ToUnits(name);
    std::u16string out;
    ForEachCodePoint(units, [&](std::uint32_t c, std::size_t at, std::size_t n) {
        if (IsInvisible(c)) {
            for (wchar_t w : L"<U+" + Hex(c) + L">") out.push_back(static_cast<char16_t>(w));
        } else {
            out.append(units, at, n);
        }
    });
    return FromUnits(out);
}

const NameCase& AsciiNameCase() {
    static const AsciiCase names;
    return names;
}

std::string SerializeStore(const std::vector<CONN_INFO>& profiles) {
    std::string out = std::string(kStoreMagic) + " 1\r\n";
    for (const CONN_INFO& p : profiles) AppendProfile(out, p, "password.dpapi", p.protectedPassword);
    out += "eof " + std::to_string(profiles.size()) + "\r\n";
    return out;
}

bool FitsStore(const std::vector<CONN_INFO>& profiles, std::string& bytes, std::wstring& problem) {
    bytes.clear();
    if (profiles.size() > kMaxProfiles) {
        problem = L"The store would hold " + Num(profiles.size()) + L" profiles; it keeps at most " +
                  Num(kMaxProfiles) + L".";
        return false;
    }
    for (const CONN_INFO& p : profiles) {
        if (!IsValidName(p.name)) {
            problem = L"A profile name is empty, longer than " + Num(CONN_INFO::kMaxName) +
                      L" characters, or holds control characters.";
            return false;
        }
        for (const std::wstring* f : {&p.kind, &p.server, &p.database, &p.user, &p.options}) {
            if (ToUnits(*f).size() > CONN_INFO::kMaxField) {
                problem = L"A setting of \"" + p.name + L"\" is longer than " + Num(CONN_INFO::kMaxField) +
                          L" characters.";
                return false;
            }
        }
        if (p.protectedPassword.size() > kMaxSecretBytes) {
            problem = L"The password of \"" + p.name + L"\" is too long to be stored.";
            return false;
        }
    }
    bytes = SerializeStore(profiles);
    if (bytes.size() > kMaxFileBytes) {
        problem = L"The store would take " + Num((bytes.size() + 1023) / 1024) + L" KB; it keeps at most " +
                  Num(kMaxFileBytes / 1024) + L" KB (8 MB).";
        bytes.clear();
        return false;
    }
    return true;
}

FileResult ParseStore(const std::string& bytes) {
    Lines lines({}, 0);
    unsigned version = 0;
    FileResult head = OpenFile(bytes, kStoreMagic, L"a connection profile store", 1, lines, version);
    if (!head.ok()) return head;
    std::vector<Item> items;
    BodyOptions opt;
    opt.store = true;
    FileResult body = ReadBody(lines, opt, items);
    if (!body.ok()) return body;
    FileResult result;
    result.profiles.reserve(items.size());
    for (Item& item : items) {
        item.info.protectedPassword = std::move(item.secret);
        result.profiles.push_back(std::move(item.info));
    }
    return result;
}

std::string ProfileAad(const CONN_INFO& p) {
    Bytes out = "ZQ-EXPORT 2 profile";
    for (const std::wstring* field : {&p.name, &p.kind, &p.server, &p.database, &p.user, &p.options}) {
        const std::u16string units = ToUnits(*field);
        PutVarint(out, units.size());
        out += UnitsToLe(units);
    }
    PutVarint(out, p.port > 65535 ? 0 : p.port);
    return out;
}

namespace {

// The passphrase header of an export: derives `key` from the passphrase under
// a fresh salt and appends the lines that let a reader check the passphrase.
bool AppendPassphraseHeader(std::string& out, const ProfileCipher& cipher, const std::wstring& passphrase,
                            std::uint32_t iterations, std::string& key) {
    std::string utf8 = Utf8Passphrase(passphrase);
    WipeOnExit<std::string> wipeUtf8(utf8);
    const auto salt = cipher.Random(16);
    auto derived = salt ? cipher.DeriveKey(utf8, *salt, iterations) : std::nullopt;
    const auto nonce = cipher.Random(kNonce);
    const auto check = derived && nonce ? cipher.Seal(*derived, *nonce, kCheckText, "check") : std::nullopt;
    if (derived) {
        key = *derived;
        Wipe(*derived);
    }
    if (!check) return false;
    out += "passwords=passphrase\r\nkdf=pbkdf2-sha256\r\niterations=" + std::to_string(iterations) +
           "\r\nsalt=" + Base64Encode(*salt, false) + "\r\ncheck=" + Base64Encode(*nonce + *check, false) +
           "\r\n";
    return true;
}

}  // namespace

ExportResult WriteExport(const std::vector<CONN_INFO>& profiles, const ProfileCipher* cipher,
                         const std::wstring* passphrase, std::uint32_t iterations) {
    const bool seal = cipher && passphrase;
    ExportResult result;
    // Files without passwords keep format 1, which every earlier version reads.
    std::string& out = result.bytes;
    out = std::string(kExportMagic) + (seal ? " 2\r\n" : " 1\r\n");
    std::string key;
    WipeOnExit<std::string> wipeKey(key);
    if (!seal) {
        out += "passwords=none\r\n";
    } else if (!AppendPassphraseHeader(out, *cipher, *passphrase, iterations, key)) {
        out.clear();
        result.problem = L"The passwords could not be encrypted.";
        return result;
    }
    for (const CONN_INFO& p : profiles) {
        std::string secret;
        if (seal && !p.password.empty()) {
            std::string plain = UnitsToLe(ToUnits(p.password));
            WipeOnExit<std::string> wipePlain(plain);
            const auto nonce = cipher->Random(kNonce);
            const auto sealed = nonce ? cipher->Seal(key, *nonce, plain, ProfileAad(p)) : std::nullopt;
            if (!sealed) {
                out.clear();
                result.problem = L"The password of \"" + p.name + L"\" could not be encrypted.";
                return result;
            }
            secret = *nonce + *sealed;
        }
        AppendProfile(out, p, "password.sealed", secret);
    }
    out += "eof " + std::to_string(profiles.size()) + "\r\n";
    return result;
}

bool ExportNeedsPassphrase(const std::string& bytes) {
    Lines lines({}, 0);
    unsigned version = 0;
    if (!OpenFile(bytes, kExportMagic, L"", 2, lines, version).ok()) return false;
    std::string_view second;
    return lines.Next(second) && second == "passwords=passphrase";
}

namespace {

// The passphrase header of an export (the lines after "passwords=passphrase"): checks
// it and derives `key` from the passphrase, which the header's check must open.
FileResult ReadPassphraseHeader(Lines& lines, const ProfileCipher* cipher, const std::wstring* passphrase,
                                std::string& key) {
    std::string_view header[5];
    for (int h = 1; h < 5; ++h)
        if (!lines.Next(header[h]))
            return Fail(FileError::Truncated, L"The file is truncated in its header.");
    std::string_view k, v;
    if (header[1] != "kdf=pbkdf2-sha256")
        return LineFail(3, L"unknown key derivation; expected pbkdf2-sha256.");
    if (!SplitField(header[2], k, v) || k != "iterations" || v.size() > 8 || !AllDigits(v) ||
        ToNumber(v) < kMinIterations || ToNumber(v) > kMaxIterations)
        return LineFail(4, L"the iteration count must be a number from " + Num(kMinIterations) + L" to " +
                               Num(kMaxIterations) + L".");
    const auto iterations = static_cast<std::uint32_t>(ToNumber(v));
    std::optional<std::string> salt, check;
    if (SplitField(header[3], k, v) && k == "salt") salt = Base64Decode(std::string(v), false);
    if (!salt || salt->size() != 16) return LineFail(5, L"the salt is damaged.");
    if (SplitField(header[4], k, v) && k == "check") check = Base64Decode(std::string(v), false);
    if (!check || check->size() != kNonce + sizeof(kCheckText) - 1 + kTag)
        return LineFail(6, L"the passphrase check is damaged.");
    if (!passphrase || !cipher)
        return Fail(FileError::PassphraseNeeded, L"The file's passwords are protected by a passphrase.");
    std::string utf8 = Utf8Passphrase(*passphrase);
    WipeOnExit<std::string> wipeUtf8(utf8);
    auto derived = cipher->DeriveKey(utf8, *salt, iterations);
    if (!derived) return Fail(FileError::CryptoFailed, L"The passphrase could not be applied.");
    key = *derived;
    Wipe(*derived);
    const auto opened = cipher->Open(key, check->substr(0, kNonce), check->substr(kNonce), "check");
    if (!opened || *opened != kCheckText)
        return Fail(FileError::WrongPassphrase, L"The passphrase is not correct.");
    return {};
}

}  // namespace

FileResult ReadExport(const std::string& bytes, const ProfileCipher* cipher, const std::wstring* passphrase) {
    Lines lines({}, 0);
    unsigned version = 0;
    FileResult head = OpenFile(bytes, kExportMagic, L"a connection profile file", 2, lines, version);
    if (!head.ok()) return head;
    std::string_view first;
    if (!lines.Next(first)) return Fail(FileError::Truncated, L"The file is truncated after its first line.");
    BodyOptions opt;
    opt.refuseInvisible = true;
    std::string key;
    WipeOnExit<std::string> wipeKey(key);
    if (first == "passwords=none") {
    } else if (first == "passwords=passphrase") {
        if (FileResult r = ReadPassphraseHeader(lines, cipher, passphrase, key); !r.ok()) return r;
        opt.sealed = true;
    } else {
        return LineFail(2, L"\"passwords=none\" or \"passwords=passphrase\" expected.");
    }
    std::vector<Item> items;
    FileResult body = ReadBody(lines, opt, items);
    if (!body.ok()) return body;
    FileResult result;
    result.profiles.reserve(items.size());
    for (Item& item : items) {
        CONN_INFO& info = item.info;
        if (!item.secret.empty()) {
            const std::string aad = version >= 2 ? ProfileAad(info) : NameAad(info.name);
            auto plain = cipher->Open(key, item.secret.substr(0, kNonce), item.secret.substr(kNonce), aad);
            auto units = plain ? LeToUnits(*plain) : std::nullopt;
            if (plain) Wipe(*plain);
            if (!units) {
                for (CONN_INFO& done : result.profiles) Wipe(done.password);
                return Fail(FileError::DamagedSecret,
                            L"Line " + Num(item.line) + L": the profile \"" + info.name +
                                L"\" was changed after its password was sealed, or its encrypted password is "
                                L"damaged; nothing was loaded.");
            }
            if (units->size() > CONN_INFO::kMaxField) {
                for (CONN_INFO& done : result.profiles) Wipe(done.password);
                Wipe(*units);
                return LineFail(item.line, L"the password of \"" + info.name + L"\" is longer than " +
                                               Num(CONN_INFO::kMaxField) + L" characters.");
            }
            info.password = FromUnits(*units);
            Wipe(*units);
        }
        result.profiles.push_back(std::move(info));
    }
    return result;
}

MergeResult Merge(std::vector<CONN_INFO>& store, std::vector<CONN_INFO> incoming,
                  const SamePasswordFn& samePassword, const NameCase& names) {
    MergeResult result;
    std::map<std::wstring, std::size_t> byKey;  // key -> first profile of that name
    for (std::size_t i = 0; i < store.size(); ++i) byKey.emplace(names.Key(store[i].name), i);
    Renamer renamer(names, byKey);
    store.reserve(store.size() + incoming.size());
    for (CONN_INFO& p : incoming) {
        std::wstring key = names.Key(p.name);
        const auto clash = byKey.find(key);
        if (clash != byKey.end()) {
            const CONN_INFO& existing = store[clash->second];
            if (existing.SameSettings(p) && (!p.HasPassword() || samePassword(existing, p))) {
                ++result.alreadyPresent;
                Wipe(p.password);  // a copy the caller no longer holds
                continue;
            }
            auto [given, givenKey] = renamer.FreeName(p.name);
            result.renamed.emplace_back(p.name, given);
            p.name = std::move(given);
            key = std::move(givenKey);
        }
        store.push_back(std::move(p));
        byKey.emplace(std::move(key), store.size() - 1);
        result.addedIndexes.push_back(store.size() - 1);
        ++result.added;
    }
    return result;
}

std::wstring MergeSummary(const MergeResult& r) {
    std::wstring text = Num(r.added) + (r.added == 1 ? L" profile added" : L" profiles added");
    if (r.alreadyPresent > 0)
        text += L", " + Num(r.alreadyPresent) + (r.alreadyPresent == 1 ? L" was" : L" were") +
                L" already present";
    text += L".";
    if (!r.renamed.empty()) {
        text += L"\n\nThese names were taken, so the loaded profiles were added under new names:";
        std::size_t shown = 0;
        for (const auto& [from, to] : r.renamed) {
            if (++shown > 10) {
                text += L"\n... and " + Num(r.renamed.size() - 10) + L" more";
                break;
            }
            text += L"\n" + VisibleName(from) + L" -> " + VisibleName(to);
        }
    }
    return text;
}

}  // namespace conn
