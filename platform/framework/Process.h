// Process-wide objects. They are defined, in this order, next to the
// program's entry point: built before start-up, destroyed at process exit.
#pragma once

#include <string>

class CColorizer;
class _Settings;

// "Connection profiles": the description the connections page hands to its file commands.
extern const std::wstring g_connectionProfilesDescription;
// The one colorizer of the process; the SQL library page sets it up.
extern CColorizer g_sharedColorizer;
// The maker's site, ending in a slash.
extern const std::wstring g_siteBase;
// The settings store while start-up owns it; null before and after.
extern _Settings* g_settings;
