#include "platform/connection/CONN_INFO.h"

#include "platform/connection/ConnText.h"

namespace conn {

namespace {

void PutText(Bytes& out, const std::wstring& text) {
    const std::u16string units = ToUnits(text);
    PutVarint(out, units.size());
    out += UnitsToLe(units);
}

bool GetText(const Bytes& in, std::size_t& pos, std::size_t maxUnits, std::wstring& text) {
    const auto count = GetVarint(in, pos);
    if (!count || *count > maxUnits || in.size() - pos < std::size_t{*count} * 2) return false;
    const auto units = LeToUnits(in.substr(pos, std::size_t{*count} * 2));
    pos += std::size_t{*count} * 2;
    text = FromUnits(*units);
    return true;
}

}  // namespace

SecretText RevealPassword(const CONN_INFO& info, const PasswordProtector& protector) {
    if (!info.password.empty() || info.protectedPassword.empty()) return info.password;
    const auto plain = protector.Unprotect(info.protectedPassword);
    auto text = plain ? FromLeBytes(*plain) : std::nullopt;
    return text ? std::move(*text) : SecretText();
}

bool ProtectPassword(CONN_INFO& info, const PasswordProtector& protector) {
    if (info.password.empty()) return true;
    const auto sealed = protector.Protect(LeBytes(info.password));
    if (!sealed) return false;
    info.protectedPassword = *sealed;
    info.password.clear();
    return true;
}

}  // namespace conn

bool CONN_INFO::SameSettings(const CONN_INFO& o) const {
    return name == o.name && kind == o.kind && server == o.server && port == o.port &&
           database == o.database && user == o.user && options == o.options;
}

conn::PackResult CONN_INFO::Pack(const std::wstring& arg, const conn::PasswordProtector& protector) const {
    conn::PackResult result;
    conn::Bytes payload;
    for (const std::wstring* field : {&name, &kind, &server, &database, &user, &options})
        conn::PutText(payload, *field);
    conn::PutVarint(payload, port > 65535 ? 0 : port);
    std::string sealed;
    if (arg == L"??") {
        if (!password.empty()) {
            const auto p = protector.Protect(conn::LeBytes(password));
            if (!p) {
                result.problem = L"The password of \"" + name + L"\" could not be protected.";
                return result;
            }
            sealed = *p;
        } else {
            sealed = protectedPassword;
        }
    }
    if (sealed.empty()) {
        payload.push_back(0);
    } else {
        payload.push_back(1);
        conn::PutVarint(payload, sealed.size());
        payload += sealed;
    }
    const std::string text = kPackPrefix + conn::Base64Encode(payload, true);
    if (text.size() > kMaxPacked)
        result.problem = L"The profile \"" + name + L"\" is too large to pass on a command line.";
    else
        result.text.assign(text.begin(), text.end());
    return result;
}

namespace {

// The payload of a packed profile text, or nullopt with `error` saying what is wrong with the text.
std::optional<std::string> PackedPayload(const std::wstring& text, std::wstring& error) {
    const std::string prefix = CONN_INFO::kPackPrefix;
    if (text.empty()) {
        error = L"The profile text is empty.";
        return std::nullopt;
    }
    if (text.size() > CONN_INFO::kMaxPacked) {
        error = L"The profile text is too long.";
        return std::nullopt;
    }
    std::string narrow;
    narrow.reserve(text.size());
    for (wchar_t c : text) {
        if (c <= 0x20 || c >= 0x7F) {
            error = L"The profile text holds a character that does not belong to it.";
            return std::nullopt;
        }
        narrow.push_back(static_cast<char>(c));
    }
    if (narrow.compare(0, 3, "ZQC") == 0 && narrow.compare(0, prefix.size(), prefix) != 0) {
        error = L"The profile text was written by a newer or unknown version.";
        return std::nullopt;
    }
    if (narrow.compare(0, prefix.size(), prefix) != 0) {
        error = L"The text is not a packed connection profile.";
        return std::nullopt;
    }
    auto payload = conn::Base64Decode(narrow.substr(prefix.size()), true);
    if (!payload) error = L"The profile text is damaged (not valid base64url).";
    return payload;
}

}  // namespace

bool CONN_INFO::Unpack(const std::wstring& text, const conn::PasswordProtector& protector, CONN_INFO& out,
                       std::wstring& error) {
    const auto payload = PackedPayload(text, error);
    if (!payload) return false;
    CONN_INFO info;
    std::size_t pos = 0;
    for (std::wstring* field :
         {&info.name, &info.kind, &info.server, &info.database, &info.user, &info.options}) {
        const std::size_t limit = field == &info.name ? kMaxName : kMaxField;
        if (!conn::GetText(*payload, pos, limit, *field)) {
            error = L"The profile text is damaged or truncated.";
            return false;
        }
    }
    const auto port = conn::GetVarint(*payload, pos);
    if (!port || *port > 65535) {
        error = L"The profile text holds no valid port.";
        return false;
    }
    info.port = *port;
    if (pos >= payload->size()) {
        error = L"The profile text is truncated.";
        return false;
    }
    const char flag = (*payload)[pos++];
    if (flag == 1) {
        const auto size = conn::GetVarint(*payload, pos);
        if (!size || *size == 0 || payload->size() - pos < *size) {
            error = L"The profile text is truncated.";
            return false;
        }
        const auto plain = protector.Unprotect(payload->substr(pos, *size));
        pos += *size;
        auto password = plain ? conn::FromLeBytes(*plain) : std::nullopt;
        if (!password || password->empty()) {
            error = L"The password in the profile was protected for another user or is damaged.";
            return false;
        }
        info.password = std::move(*password);
    } else if (flag != 0) {
        error = L"The profile text is damaged (unknown password form).";
        return false;
    }
    if (pos != payload->size()) {
        error = L"The profile text has unexpected data at its end.";
        return false;
    }
    out = std::move(info);
    return true;
}
