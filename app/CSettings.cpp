#include "app/CSettings.h"

namespace {
void DeclareKeys(_Settings& s) {
    s.Add(L"ProjColW1", S_INT, 0, L"135", 0, CSettings::kMaxColumnWidth);
    s.Add(L"ProjColW2", S_INT, 0, L"165", 0, CSettings::kMaxColumnWidth);
    s.Add(L"ProjColW3", S_INT, 0, L"75", 0, CSettings::kMaxColumnWidth);
    s.Add(L"ProjColW4", S_INT, 0, L"55", 0, CSettings::kMaxColumnWidth);
    s.Add(L"ProjColW5", S_INT, 0, L"80", 0, CSettings::kMaxColumnWidth);
    s.Add(L"ProjColW6", S_INT, 0, L"135", 0, CSettings::kMaxColumnWidth);
}
}  // namespace

CSettings::CSettings() { DeclareKeys(*this); }
CSettings::CSettings(CSysReg store) : _Settings(std::move(store)) { DeclareKeys(*this); }
CSettings::~CSettings() = default;
