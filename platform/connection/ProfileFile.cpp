#include "platform/connection/ProfileFile.h"

#include <cstring>

#include "platform/connection/ConnText.h"
#include "platform/connection/ProfileFormat.h"

namespace conn {

namespace {

const char kStoreMagic[] = "ZQ-PROFILES";
const char* HexDigits() { return "0123456789ABCDEF"; }

}  // namespace

bool IsControl(char16_t u) { return u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0); }

std::wstring Num(std::size_t n) { return std::to_wstring(n); }

std::wstring Widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

bool AllDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

unsigned long ToNumber(std::string_view digits) {
    unsigned long n = 0;
    for (char c : digits) n = n * 10 + static_cast<unsigned long>(c - '0');
    return n;
}

std::wstring Hex(std::uint32_t c) {
    std::wstring out;
    for (int s = c > 0xFFFFF ? 20 : c > 0xFFFF ? 16 : 12; s >= 0; s -= 4)
        out += static_cast<wchar_t>(HexDigits()[(c >> s) & 0xF]);
    return out;
}

bool SplitField(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) return false;
    key = line.substr(0, eq);
    value = line.substr(eq + 1);
    return true;
}

FileResult Fail(FileError code, std::wstring message) {
    FileResult r;
    r.error = code;
    r.message = std::move(message);
    return r;
}

FileResult LineFail(std::size_t line, const std::wstring& what) {
    return Fail(FileError::Malformed, L"Line " + Num(line) + L": " + what);
}

bool Lines::Next(std::string_view& line) {
    if (m_pos >= m_raw.size()) return false;
    std::size_t end = m_raw.find('\n', m_pos);
    if (end == std::string_view::npos) end = m_raw.size();
    line = m_raw.substr(m_pos, end - m_pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    m_pos = end + 1;
    ++m_number;
    return true;
}

FileResult OpenFile(const std::string& raw, const char* magic, const wchar_t* kindName, unsigned maxVersion,
                    std::size_t maxBytes, Lines& lines, unsigned& version) {
    if (raw.empty()) return Fail(FileError::Empty, L"The file is empty.");
    if (raw.size() > maxBytes)
        return Fail(FileError::TooLarge, std::wstring(L"The file is too large to be ") + kindName +
                                             L" (more than " + Num(maxBytes >> 20) + L" MB).");
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

std::wstring SettingsProblem(const CONN_INFO& p, FileKind kind) {
    if (!IsValidName(p.name))
        return L"the profile name is empty, longer than " + Num(CONN_INFO::kMaxName) +
               L" characters, or holds control characters";
    for (const std::wstring* f : {&p.kind, &p.server, &p.database, &p.user, &p.options}) {
        if (ToUnits(*f).size() > CONN_INFO::kMaxField)
            return L"a setting of the profile is longer than " + Num(CONN_INFO::kMaxField) + L" characters";
    }
    if (kind == FileKind::Export) {
        if (const std::uint32_t c = FirstInvisible(p.name))
            return L"the profile name holds a character that does not show (U+" + Hex(c) +
                   L"), so it could not be told from another name";
    }
    return {};
}

std::wstring ProfileProblem(const CONN_INFO& p, FileKind kind) {
    if (std::wstring why = SettingsProblem(p, kind); !why.empty()) return why;
    if (kind == FileKind::Store && p.protectedPassword.size() > kMaxSecretBytes)
        return L"the protected password is longer than " + Num(kMaxSecretBytes / 1024) + L" KB";
    if (kind == FileKind::Export && p.password.size() > CONN_INFO::kMaxPassword)
        return L"the password is longer than " + Num(CONN_INFO::kMaxPassword) + L" characters";
    return {};
}

std::wstring ProfileSubject(const CONN_INFO& p) {
    return IsValidName(p.name) ? L"The profile \"" + VisibleName(p.name) + L"\"" : std::wstring(L"A profile");
}

namespace {

const char* const kKeys[] = {"name", "kind",    "server",         "port",           "database",
                             "user", "options", "password.dpapi", "password.sealed"};
constexpr int kDpapiKey = 7, kSealedKey = 8;

// A protected (store) or sealed (export) password field; false when damaged.
bool ReadSecretField(int k, std::string_view raw, std::string& secret) {
    constexpr std::size_t kSealedOverhead = 12 + 16;  // nonce and tag
    const auto bytes = Base64Decode(std::string(raw), false);
    const std::size_t most =
        k == kSealedKey ? kSealedOverhead + 2 * CONN_INFO::kMaxPassword : kMaxSecretBytes;
    if (!bytes || bytes->empty() || bytes->size() > most ||
        (k == kSealedKey && bytes->size() < kSealedOverhead + 2))
        return false;
    secret = *bytes;
    return true;
}

// Reads the fields of one profile, whose "profile" line is line lineNo, up to its "end" line.
FileResult ReadProfile(Lines& lines, const BodyOptions& opt, std::size_t lineNo, Item& item) {
    std::string_view line;
    item.line = lineNo;
    CONN_INFO& info = item.info;
    bool seen[9] = {};
    std::size_t nameLine = lineNo;
    while (true) {
        if (!lines.Next(line)) return Fail(FileError::Truncated, L"The file is truncated inside a profile.");
        const std::size_t fNo = lines.Number();
        if (line == "end") break;
        std::string_view key, raw;
        if (!SplitField(line, key, raw)) return LineFail(fNo, L"a field of the form name=value expected.");
        int k = -1;
        for (int n = 0; n < 9; ++n)
            if (key == kKeys[n]) k = n;
        if (k < 0 || (k == kDpapiKey && opt.kind != FileKind::Store) || (k == kSealedKey && !opt.sealed))
            return LineFail(fNo, L"unknown field \"" + Widen(key.substr(0, 40)) + L"\".");
        if (seen[k]) return LineFail(fNo, L"the field appears twice in one profile.");
        seen[k] = true;
        if (k == kDpapiKey || k == kSealedKey) {
            if (!ReadSecretField(k, raw, item.secret))
                return LineFail(fNo, L"the protected password is damaged.");
        } else if (k == 3) {
            if (raw.size() > 5 || !AllDigits(raw) || ToNumber(raw) > 65535)
                return LineFail(fNo, L"the port must be a number from 0 to 65535.");
            info.port = static_cast<unsigned>(ToNumber(raw));
        } else {
            const auto value = UnescapeValue(std::string(raw));
            if (!value) return LineFail(fNo, L"the value is not valid text (UTF-8 with \\ escapes).");
            if (raw.size() > CONN_INFO::kMaxField && ToUnits(*value).size() > CONN_INFO::kMaxField)
                return LineFail(fNo,
                                L"the value is longer than " + Num(CONN_INFO::kMaxField) + L" characters.");
            std::wstring* targets[] = {&info.name,     &info.kind, &info.server, nullptr,
                                       &info.database, &info.user, &info.options};
            *targets[k] = *value;
            if (k == 0) nameLine = fNo;
        }
    }
    if (!seen[0]) return LineFail(lines.Number(), L"the profile has no name.");
    if (opt.kind == FileKind::Store) info.protectedPassword = item.secret;
    const std::wstring problem = ProfileProblem(info, opt.kind);
    return problem.empty() ? FileResult{} : LineFail(nameLine, problem + L".");
}

}  // namespace

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
        if (const std::wstring why = ProfileProblem(p, FileKind::Store); !why.empty()) {
            problem = ProfileSubject(p) + L" cannot be stored: " + why + L".";
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
    FileResult head =
        OpenFile(bytes, kStoreMagic, L"a connection profile store", 1, kMaxFileBytes, lines, version);
    if (!head.ok()) return head;
    std::vector<Item> items;
    BodyOptions opt;
    opt.kind = FileKind::Store;
    FileResult body = ReadBody(lines, opt, items);
    if (!body.ok()) return body;
    FileResult result;
    result.profiles.reserve(items.size());
    for (Item& item : items) result.profiles.push_back(std::move(item.info));
    return result;
}

}  // namespace conn
