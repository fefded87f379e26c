#include "platform/connection/ProfileFile.h"

#include <cstring>

#include "platform/connection/ConnText.h"

namespace conn {

namespace {

const char kStoreMagic[] = "ZQ-PROFILES";
const char kExportMagic[] = "ZQ-EXPORT";
const char kCheckText[] = "Zerudozuz connection profiles";
constexpr std::size_t kNonce = 12;
constexpr std::size_t kTag = 16;

std::wstring Num(std::size_t n) {
    return std::to_wstring(n);
}

bool IsControl(char16_t u) {
    return u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0);
}

const char* HexDigits() {
    return "0123456789ABCDEF";
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

// Common reading of both files: size, byte-order mark, lines, and the first
// line with its format name and version.
FileResult SplitFile(const std::string& raw, const char* magic, const wchar_t* kindName,
                     std::vector<std::string>& lines) {
    if (raw.empty()) return Fail(FileError::Empty, L"The file is empty.");
    if (raw.size() > kMaxFileBytes)
        return Fail(FileError::TooLarge,
                    std::wstring(L"The file is too large to be ") + kindName + L" (more than 8 MB).");
    std::size_t start = raw.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    lines.clear();
    while (start <= raw.size()) {
        std::size_t end = raw.find('\n', start);
        if (end == std::string::npos) end = raw.size();
        std::string line = raw.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    if (lines.empty() || (lines.size() == 1 && lines[0].empty()))
        return Fail(FileError::Empty, L"The file is empty.");
    // Every line the writer makes ends in a line break; a last line without
    // one (other than the closing count) is a cut-off copy.
    const std::string& last = lines.back();
    const bool cutOff = raw.back() != '\n' && !(last.size() > 4 && last.compare(0, 4, "eof ") == 0 &&
                                                last.find_first_not_of("0123456789", 4) == std::string::npos);
    const std::string& first = lines[0];
    const std::size_t mlen = std::strlen(magic);
    if (first.compare(0, mlen, magic) != 0 || first.size() < mlen + 2 || first[mlen] != ' ') {
        if (first.compare(0, 3, "ZQ-") == 0)
            return Fail(
                FileError::OtherFormat,
                std::wstring(L"The file holds profiles of another kind; it is not ") + kindName + L".");
        return Fail(FileError::OtherFormat, std::wstring(L"The file is not ") + kindName + L".");
    }
    const std::string version = first.substr(mlen + 1);
    if (version.size() > 9 || version.find_first_not_of("0123456789") != std::string::npos ||
        version[0] == '0')
        return Fail(FileError::OtherFormat, L"The file's version line is damaged.");
    if (cutOff) return Fail(FileError::Truncated, L"The file is truncated: its last line is cut off.");
    if (version != "1")
        return Fail(FileError::NewerVersion, L"The file was written by a newer version (format " +
                                                 std::wstring(version.begin(), version.end()) +
                                                 L"); this version reads format 1.");
    return {};
}

bool SplitField(const std::string& line, std::string& key, std::string& value) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    key = line.substr(0, eq);
    value = line.substr(eq + 1);
    return true;
}

struct BodyOptions {
    bool store = false;
    bool sealed = false;  // export with password.sealed fields
};

// Reads the profiles from `lines[from]` to the "eof" line.
FileResult ReadBody(const std::vector<std::string>& lines, std::size_t from, const BodyOptions& opt,
                    std::vector<std::pair<CONN_INFO, std::string>>& out) {
    std::size_t i = from;
    while (true) {
        if (i >= lines.size())
            return Fail(FileError::Truncated, L"The file is truncated: its last line is missing.");
        const std::string& line = lines[i];
        const std::size_t lineNo = i + 1;
        if (line.compare(0, 4, "eof ") == 0) {
            const std::string n = line.substr(4);
            if (n.empty() || n.size() > 9 || n.find_first_not_of("0123456789") != std::string::npos)
                return LineFail(lineNo, L"the closing count is not a number.");
            if (std::stoul(n) != out.size())
                return Fail(FileError::Truncated, L"The file is damaged: it announces " +
                                                      std::wstring(n.begin(), n.end()) +
                                                      L" profiles but holds " + Num(out.size()) + L".");
            if (i + 1 != lines.size()) return LineFail(lineNo + 1, L"text after the end of the profiles.");
            return {};
        }
        if (line != "profile") return LineFail(lineNo, L"\"profile\" or \"eof\" expected.");
        if (out.size() >= kMaxProfiles)
            return Fail(FileError::TooMany, L"The file holds more than " + Num(kMaxProfiles) + L" profiles.");
        CONN_INFO info;
        std::string secret;
        bool seen[9] = {};
        ++i;
        for (;; ++i) {
            if (i >= lines.size())
                return Fail(FileError::Truncated, L"The file is truncated inside a profile.");
            const std::string& f = lines[i];
            const std::size_t fNo = i + 1;
            if (f == "end") break;
            std::string key, raw;
            if (!SplitField(f, key, raw)) return LineFail(fNo, L"a field of the form name=value expected.");
            static const char* const kKeys[] = {"name",    "kind",           "server",
                                                "port",    "database",       "user",
                                                "options", "password.dpapi", "password.sealed"};
            int k = -1;
            for (int n = 0; n < 9; ++n)
                if (key == kKeys[n]) k = n;
            if (k < 0 || (k == 7 && !opt.store) || (k == 8 && !opt.sealed))
                return LineFail(
                    fNo, L"unknown field \"" + std::wstring(key.begin(), key.end()).substr(0, 40) + L"\".");
            if (seen[k]) return LineFail(fNo, L"the field appears twice in one profile.");
            seen[k] = true;
            if (k == 7 || k == 8) {
                const auto bytes = Base64Decode(raw, false);
                if (!bytes || bytes->empty() || bytes->size() > 8192)
                    return LineFail(fNo, L"the protected password is damaged.");
                if (k == 8 && bytes->size() < kNonce + kTag + 2)
                    return LineFail(fNo, L"the protected password is damaged.");
                secret = *bytes;
                continue;
            }
            if (k == 3) {
                if (raw.empty() || raw.size() > 5 ||
                    raw.find_first_not_of("0123456789") != std::string::npos || std::stoul(raw) > 65535)
                    return LineFail(fNo, L"the port must be a number from 0 to 65535.");
                info.port = static_cast<unsigned>(std::stoul(raw));
                continue;
            }
            const auto value = UnescapeValue(raw);
            if (!value) return LineFail(fNo, L"the value is not valid text (UTF-8 with \\ escapes).");
            if (ToUnits(*value).size() > CONN_INFO::kMaxField)
                return LineFail(fNo,
                                L"the value is longer than " + Num(CONN_INFO::kMaxField) + L" characters.");
            std::wstring* targets[] = {&info.name,     &info.kind, &info.server, nullptr,
                                       &info.database, &info.user, &info.options};
            *targets[k] = *value;
        }
        if (!seen[0]) return LineFail(i + 1, L"the profile has no name.");
        if (!IsValidName(info.name))
            return LineFail(i + 1, L"the profile name is empty, longer than " + Num(CONN_INFO::kMaxName) +
                                       L" characters, or holds control characters.");
        ++i;
        out.emplace_back(std::move(info), std::move(secret));
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

std::string NameAad(const std::wstring& name) {
    return UnitsToLe(ToUnits(name));
}

std::string Utf8Passphrase(const std::wstring& passphrase) {
    return ToUtf8(ToUnits(passphrase));
}

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

std::string SerializeStore(const std::vector<CONN_INFO>& profiles) {
    std::string out = std::string(kStoreMagic) + " 1\r\n";
    for (const CONN_INFO& p : profiles) AppendProfile(out, p, "password.dpapi", p.protectedPassword);
    out += "eof " + std::to_string(profiles.size()) + "\r\n";
    return out;
}

FileResult ParseStore(const std::string& bytes) {
    std::vector<std::string> lines;
    FileResult head = SplitFile(bytes, kStoreMagic, L"a connection profile store", lines);
    if (!head.ok()) return head;
    std::vector<std::pair<CONN_INFO, std::string>> items;
    BodyOptions opt;
    opt.store = true;
    FileResult body = ReadBody(lines, 1, opt, items);
    if (!body.ok()) return body;
    FileResult result;
    result.profiles.reserve(items.size());
    for (auto& [info, secret] : items) {
        info.protectedPassword = std::move(secret);
        result.profiles.push_back(std::move(info));
    }
    return result;
}

std::string WriteExport(const std::vector<CONN_INFO>& profiles, const ProfileCipher* cipher,
                        const std::wstring* passphrase, std::uint32_t iterations) {
    std::string out = std::string(kExportMagic) + " 1\r\n";
    const bool seal = cipher && passphrase;
    std::string key;
    if (!seal) {
        out += "passwords=none\r\n";
    } else {
        const auto salt = cipher->Random(16);
        const auto derived =
            salt ? cipher->DeriveKey(Utf8Passphrase(*passphrase), *salt, iterations) : std::nullopt;
        const auto nonce = cipher->Random(kNonce);
        const auto check =
            derived && nonce ? cipher->Seal(*derived, *nonce, kCheckText, "check") : std::nullopt;
        if (!check) throw ConnError(L"The passwords could not be encrypted.");
        key = *derived;
        out += "passwords=passphrase\r\nkdf=pbkdf2-sha256\r\niterations=" + std::to_string(iterations) +
               "\r\nsalt=" + Base64Encode(*salt, false) +
               "\r\ncheck=" + Base64Encode(*nonce + *check, false) + "\r\n";
    }
    for (const CONN_INFO& p : profiles) {
        std::string secret;
        if (seal && !p.password.empty()) {
            const auto nonce = cipher->Random(kNonce);
            const auto sealed =
                nonce ? cipher->Seal(key, *nonce, UnitsToLe(ToUnits(p.password)), NameAad(p.name))
                      : std::nullopt;
            if (!sealed) throw ConnError(L"The password of \"" + p.name + L"\" could not be encrypted.");
            secret = *nonce + *sealed;
        }
        AppendProfile(out, p, "password.sealed", secret);
    }
    out += "eof " + std::to_string(profiles.size()) + "\r\n";
    return out;
}

bool ExportNeedsPassphrase(const std::string& bytes) {
    std::vector<std::string> lines;
    if (!SplitFile(bytes, kExportMagic, L"", lines).ok()) return false;
    return lines.size() > 1 && lines[1] == "passwords=passphrase";
}

FileResult ReadExport(const std::string& bytes, const ProfileCipher* cipher, const std::wstring* passphrase) {
    std::vector<std::string> lines;
    FileResult head = SplitFile(bytes, kExportMagic, L"a connection profile file", lines);
    if (!head.ok()) return head;
    if (lines.size() < 2) return Fail(FileError::Truncated, L"The file is truncated after its first line.");
    BodyOptions opt;
    std::size_t from = 2;
    std::string key;
    if (lines[1] == "passwords=none") {
    } else if (lines[1] == "passwords=passphrase") {
        if (lines.size() < 6) return Fail(FileError::Truncated, L"The file is truncated in its header.");
        std::string k, v;
        if (lines[2] != "kdf=pbkdf2-sha256")
            return LineFail(3, L"unknown key derivation; expected pbkdf2-sha256.");
        if (!SplitField(lines[3], k, v) || k != "iterations" || v.empty() || v.size() > 8 ||
            v.find_first_not_of("0123456789") != std::string::npos || std::stoul(v) < 100000 ||
            std::stoul(v) > 10000000)
            return LineFail(4, L"the iteration count must be a number from 100000 to 10000000.");
        const auto iterations = static_cast<std::uint32_t>(std::stoul(v));
        std::optional<std::string> salt, check;
        if (SplitField(lines[4], k, v) && k == "salt") salt = Base64Decode(v, false);
        if (!salt || salt->size() != 16) return LineFail(5, L"the salt is damaged.");
        if (SplitField(lines[5], k, v) && k == "check") check = Base64Decode(v, false);
        if (!check || check->size() != kNonce + sizeof(kCheckText) - 1 + kTag)
            return LineFail(6, L"the passphrase check is damaged.");
        if (!passphrase || !cipher)
            return Fail(FileError::PassphraseNeeded, L"The file's passwords are protected by a passphrase.");
        const auto derived = cipher->DeriveKey(Utf8Passphrase(*passphrase), *salt, iterations);
        if (!derived) return Fail(FileError::CryptoFailed, L"The passphrase could not be applied.");
        const auto opened = cipher->Open(*derived, check->substr(0, kNonce), check->substr(kNonce), "check");
        if (!opened || *opened != kCheckText)
            return Fail(FileError::WrongPassphrase, L"The passphrase is not correct.");
        key = *derived;
        opt.sealed = true;
        from = 6;
    } else {
        return LineFail(2, L"\"passwords=none\" or \"passwords=passphrase\" expected.");
    }
    std::vector<std::pair<CONN_INFO, std::string>> items;
    FileResult body = ReadBody(lines, from, opt, items);
    if (!body.ok()) return body;
    FileResult result;
    for (auto& [info, secret] : items) {
        if (!secret.empty()) {
            const auto plain =
                cipher->Open(key, secret.substr(0, kNonce), secret.substr(kNonce), NameAad(info.name));
            const auto units = plain ? LeToUnits(*plain) : std::nullopt;
            if (!units)
                return Fail(FileError::DamagedSecret, L"The encrypted password of \"" + info.name +
                                                          L"\" is damaged; nothing was loaded.");
            info.password = FromUnits(*units);
        }
        result.profiles.push_back(std::move(info));
    }
    return result;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y) return false;
    }
    return true;
}

std::wstring FreeName(const std::vector<CONN_INFO>& store, const std::wstring& wanted) {
    for (std::size_t n = 2;; ++n) {
        const std::wstring suffix = L" (" + Num(n) + L")";
        std::wstring base = wanted;
        // Keep the result within the name limit, counting code units.
        while (!base.empty() && ToUnits(base + suffix).size() > CONN_INFO::kMaxName) base.pop_back();
        const std::wstring candidate = base + suffix;
        bool taken = false;
        for (const CONN_INFO& e : store) {
            if (SameName(e.name, candidate)) {
                taken = true;
                break;
            }
        }
        if (!taken) return candidate;
    }
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
            text += L"\n" + from + L" -> " + to;
        }
    }
    return text;
}

}  // namespace conn
