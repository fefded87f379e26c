// The process-wide objects that the program defines next to its entry point,
// for the programs that run its pieces without it: the Windows tests and the
// benchmarks.
#include <string>

#include "platform/text/CColorizer.h"
#include "platform/framework/Process.h"
#include "platform/services/_Settings.h"

const std::wstring g_connectionProfilesDescription = L"Connection profiles";
CColorizer g_sharedColorizer;
const std::wstring g_siteBase = L"https://www.zerudozuz.example/";
_Settings* g_settings = nullptr;
