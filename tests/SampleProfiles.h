// Connection profiles for tests, with fields that try every encoding the
// profile code has: quotes, backslashes, tabs and line breaks, accents,
// ideographs and a character outside the basic plane.
#pragma once

#include <string>

#include "platform/connection/CONN_INFO.h"

namespace test {

// Every field set, the port at its largest.
inline CONN_INFO FullProfile() {
    CONN_INFO c;
    c.name = L"Caf\u00e9 \"live\" \u6771\u4eac \U0001F600";
    c.kind = L"Network SQL";
    c.server = L"db1.example.net\\inst";
    c.port = 65535;
    c.database = L"sales \"2024\"";
    c.user = L"report user";
    c.password = L"p\u00e4ss \"w\\ord\"\t!";
    c.options = L"sslmode=require\tapp=\"hub\"";
    return c;
}

// One profile of a store: the same name gives the same settings, and the
// server carries the name so that rows can be told apart.
inline CONN_INFO StoreProfile(const std::wstring& name, const std::wstring& password = L"") {
    CONN_INFO c;
    c.name = name;
    c.kind = L"Network SQL";
    c.server = L"srv-" + name;
    c.port = 7401;
    c.database = L"db \u00e9\U0001F600";
    c.user = L"u\tv";
    c.options = L"a=\"b c\"\r\nd=e";
    c.password = password;
    return c;
}

// A profile whose packed form (no password) both builds must give exactly:
// kPackedSampleText.
inline CONN_INFO PackedSample() {
    CONN_INFO c;
    c.name = L"Caf\u00e9 \U0001F600";
    c.kind = L"k";
    c.server = L"s \"q\"";
    c.port = 1433;
    c.user = L"\u6771";
    return c;
}
inline constexpr wchar_t kPackedSampleText[] = L"ZQC1.B0MAYQBmAOkAIAA92ADeAWsABXMAIAAiAHEAIgAAAXFnAJkLAA";

}  // namespace test
