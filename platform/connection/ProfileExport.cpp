#include "platform/connection/ProfileExport.h"

#include <cstring>

#include "platform/connection/ConnText.h"
#include "platform/connection/ProfileFormat.h"

namespace conn {

namespace {

const char kExportMagic[] = "ZQ-EXPORT";
const char kCheckText[] = "Zerudozuz connection profiles";
constexpr std::size_t kNonce = 12;
constexpr std::size_t kTag = 16;

// What the passphrase check of a format binds. Formats 1 and 2 shared one
// text; every later format labels it with its own number.
std::string CheckAad(unsigned format) { return format >= 3 ? "ZQ-EXPORT 3 check" : "check"; }

SecretBytes CheckText() { return SecretBytes(kCheckText, sizeof kCheckText - 1); }

// The passphrase header of an export: derives `key` from the passphrase under
// a fresh salt and appends the lines that let a reader check the passphrase.
bool AppendPassphraseHeader(std::string& out, const ProfileCipher& cipher, const SecretText& passphrase,
                            std::uint32_t iterations, SecretBytes& key) {
    const auto salt = cipher.Random(16);
    auto derived = salt ? cipher.DeriveKey(Utf8Bytes(passphrase), *salt, iterations) : std::nullopt;
    if (!derived) return false;
    key = std::move(*derived);
    const auto nonce = cipher.Random(kNonce);
    const auto check = nonce ? cipher.Seal(key, *nonce, CheckText(), CheckAad(kExportFormat)) : std::nullopt;
    if (!check) return false;
    out += "passwords=passphrase\r\nkdf=pbkdf2-sha256\r\niterations=" + std::to_string(iterations) +
           "\r\nsalt=" + Base64Encode(*salt, false) + "\r\ncheck=" + Base64Encode(*nonce + *check, false) +
           "\r\n";
    return true;
}

// Why a file of these profiles would not load (empty when it would).
std::wstring ExportProblem(const std::vector<CONN_INFO>& profiles, bool withPasswords) {
    if (profiles.size() > kMaxProfiles)
        return L"The file would hold " + Num(profiles.size()) +
               L" profiles; a connection profile file holds " + L"at most " + Num(kMaxProfiles) + L".";
    for (const CONN_INFO& p : profiles) {
        const std::wstring why =
            withPasswords ? ProfileProblem(p, FileKind::Export) : SettingsProblem(p, FileKind::Export);
        if (!why.empty()) return ProfileSubject(p) + L" cannot be written to a file: " + why + L".";
    }
    return {};
}

}  // namespace

std::string ProfileAad(const CONN_INFO& p, unsigned format) {
    if (format <= 1) return UnitsToLe(ToUnits(p.name));
    Bytes out = "ZQ-EXPORT " + std::to_string(format) + " profile";
    for (const std::wstring* field : {&p.name, &p.kind, &p.server, &p.database, &p.user, &p.options}) {
        const std::u16string units = ToUnits(*field);
        PutVarint(out, units.size());
        out += UnitsToLe(units);
    }
    PutVarint(out, p.port > 65535 ? 0 : p.port);
    return out;
}

ExportResult WriteExport(const std::vector<CONN_INFO>& profiles, const ProfileCipher* cipher,
                         const SecretText* passphrase, std::uint32_t iterations) {
    const bool seal = cipher && passphrase;
    ExportResult result;
    result.problem = ExportProblem(profiles, seal);
    if (!result.ok()) return result;
    // Files without passwords keep format 1, which every earlier version reads.
    std::string& out = result.bytes;
    out = std::string(kExportMagic) + " " + (seal ? std::to_string(kExportFormat) : "1") + "\r\n";
    SecretBytes key;
    if (!seal) {
        out += "passwords=none\r\n";
    } else if (!AppendPassphraseHeader(out, *cipher, *passphrase, iterations, key)) {
        out.clear();
        result.cancelled = cipher->Cancelled();
        result.problem = L"The passwords could not be encrypted.";
        return result;
    }
    for (const CONN_INFO& p : profiles) {
        std::string secret;
        if (seal && !p.password.empty()) {
            const auto nonce = cipher->Random(kNonce);
            const auto sealed =
                nonce ? cipher->Seal(key, *nonce, LeBytes(p.password), ProfileAad(p, kExportFormat))
                      : std::nullopt;
            if (!sealed) {
                out.clear();
                result.problem = L"The password of \"" + VisibleName(p.name) + L"\" could not be encrypted.";
                return result;
            }
            secret = *nonce + *sealed;
        }
        AppendProfile(out, p, "password.sealed", secret);
    }
    out += "eof " + std::to_string(profiles.size()) + "\r\n";
    if (out.size() > kMaxExportBytes) {
        out.clear();
        result.problem =
            L"The file would be larger than " + Num(kMaxExportBytes >> 20) +
            L" MB, more than a connection profile file may hold; export fewer profiles at a time.";
    }
    return result;
}

ExportResult ExportStoredProfiles(const std::vector<CONN_INFO>& stored,
                                  const std::vector<std::size_t>& indexes, const PasswordProtector& protector,
                                  const ProfileCipher* cipher, const SecretText* passphrase, int& lost) {
    const bool seal = cipher && passphrase;
    std::vector<CONN_INFO> out;
    out.reserve(indexes.size());
    for (std::size_t i : indexes) {
        CONN_INFO p = stored[i];
        p.protectedPassword.clear();
        p.password.clear();
        if (seal) {
            p.password = RevealPassword(stored[i], protector);
            if (p.password.empty() && stored[i].HasPassword()) ++lost;
        }
        out.push_back(std::move(p));
    }
    return seal ? WriteExport(out, cipher, passphrase) : WriteExport(out, nullptr, nullptr);
}

bool ExportNeedsPassphrase(const std::string& bytes) {
    Lines lines({}, 0);
    unsigned version = 0;
    if (!OpenFile(bytes, kExportMagic, L"", kExportFormat, kMaxExportBytes, lines, version).ok())
        return false;
    std::string_view second;
    return lines.Next(second) && second == "passwords=passphrase";
}

namespace {

// The passphrase header of an export (the lines after "passwords=passphrase"):
// checks it and derives `key` from the passphrase, which the header's check
// must open.
FileResult ReadPassphraseHeader(Lines& lines, const ProfileCipher* cipher, const SecretText* passphrase,
                                unsigned format, SecretBytes& key) {
    std::string_view header[5];
    for (int h = 1; h < 5; ++h)
        if (!lines.Next(header[h]))
            return Fail(FileError::Truncated, L"The file is truncated in its header.");
    std::string_view k, v;
    if (header[1] != "kdf=pbkdf2-sha256")
        return LineFail(3, L"unknown key derivation; expected pbkdf2-sha256.");
    if (!SplitField(header[2], k, v) || k != "iterations" || v.size() > 9 || !AllDigits(v) ||
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
    auto derived = cipher->DeriveKey(Utf8Bytes(*passphrase), *salt, iterations);
    if (!derived && cipher->Cancelled())
        return Fail(FileError::Cancelled, L"The passphrase was not applied.");
    if (!derived) return Fail(FileError::CryptoFailed, L"The passphrase could not be applied.");
    key = std::move(*derived);
    const auto opened = cipher->Open(key, check->substr(0, kNonce), check->substr(kNonce), CheckAad(format));
    if (!opened || opened->View() != std::string_view(kCheckText))
        return Fail(FileError::WrongPassphrase, L"The passphrase is not correct.");
    return {};
}

// The password sealed in an item of a file of that format, or nothing when
// the seal does not open for the profile as it stands.
std::optional<SecretText> OpenSealed(const ProfileCipher& cipher, const SecretBytes& key, const Item& item,
                                     unsigned format) {
    const std::string aad = ProfileAad(item.info, format);
    // Format 1 bound the bare name; data that starts as a later format's label
    // does is a later seal relabelled, with its bound settings read as a name.
    if (format == 1 && aad.compare(0, std::strlen(kExportMagic), kExportMagic) == 0) return std::nullopt;
    const auto plain = cipher.Open(key, item.secret.substr(0, kNonce), item.secret.substr(kNonce), aad);
    return plain ? FromLeBytes(*plain) : std::nullopt;
}

}  // namespace

FileResult ReadExport(const std::string& bytes, const ProfileCipher* cipher, const SecretText* passphrase) {
    Lines lines({}, 0);
    unsigned version = 0;
    FileResult head = OpenFile(bytes, kExportMagic, L"a connection profile file", kExportFormat,
                               kMaxExportBytes, lines, version);
    if (!head.ok()) return head;
    std::string_view first;
    if (!lines.Next(first)) return Fail(FileError::Truncated, L"The file is truncated after its first line.");
    BodyOptions opt;
    opt.kind = FileKind::Export;
    SecretBytes key;
    if (first == "passwords=passphrase") {
        if (FileResult r = ReadPassphraseHeader(lines, cipher, passphrase, version, key); !r.ok()) return r;
        opt.sealed = true;
    } else if (first != "passwords=none") {
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
            auto password = OpenSealed(*cipher, key, item, version);
            if (!password)
                return Fail(FileError::DamagedSecret,
                            L"Line " + Num(item.line) + L": the profile \"" + VisibleName(info.name) +
                                L"\" was changed after its password was sealed, or its encrypted password is "
                                L"damaged; nothing was loaded.");
            info.password = std::move(*password);
            if (const std::wstring why = ProfileProblem(info, FileKind::Export); !why.empty())
                return LineFail(item.line, why + L".");
        }
        result.profiles.push_back(std::move(info));
    }
    return result;
}

}  // namespace conn
