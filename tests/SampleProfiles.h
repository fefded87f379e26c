// Connection profiles for tests, with fields that try every encoding the
// profile code has: quotes, backslashes, tabs and line breaks, accents,
// ideographs and a character outside the basic plane.
#pragma once

#include <string>
#include <utility>

#include "platform/connection/CONN_INFO.h"

namespace test {

inline CONN_INFO MakeProfile(std::wstring name, std::wstring kind, std::wstring server, unsigned port,
                             std::wstring database, std::wstring user, std::wstring password,
                             std::wstring options) {
    CONN_INFO c;
    c.name = std::move(name);
    c.kind = std::move(kind);
    c.server = std::move(server);
    c.port = port;
    c.database = std::move(database);
    c.user = std::move(user);
    c.password = conn::SecretText(password);
    c.options = std::move(options);
    return c;
}

// Every field set, the port at its largest.
inline CONN_INFO FullProfile() {
    return MakeProfile(L"Caf\u00e9 \"live\" \u6771\u4eac \U0001F600", L"Network SQL",
                       L"db1.example.net\\inst", 65535, L"sales \"2024\"", L"report user",
                       L"p\u00e4ss \"w\\ord\"\t!", L"sslmode=require\tapp=\"hub\"");
}

// One profile of a store: the same name gives the same settings, and the
// server carries the name so that rows can be told apart.
inline CONN_INFO StoreProfile(const std::wstring& name, const std::wstring& password = L"") {
    return MakeProfile(name, L"Network SQL", L"srv-" + name, 7401, L"db \u00e9\U0001F600", L"u\tv", password,
                       L"a=\"b c\"\r\nd=e");
}

// A profile whose packed form (no password) both builds must give exactly:
// kPackedSampleText.
inline CONN_INFO PackedSample() {
    return MakeProfile(L"Caf\u00e9 \U0001F600", L"k", L"s \"q\"", 1433, L"", L"\u6771", L"", L"");
}
inline constexpr wchar_t kPackedSampleText[] = L"ZQC1.B0MAYQBmAOkAIAA92ADeAWsABXMAIAAiAHEAIgAAAXFnAJkLAA";

}  // namespace test
