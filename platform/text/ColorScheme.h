// Colours that stay readable on whatever window colour the user's scheme
// has: a wanted token colour is moved toward black or white (whichever lies
// further from the background) just far enough to reach a contrast ratio.
// Colours are 0x00BBGGRR, as the system keeps them. Portable.
#pragma once

#include <cstdint>

namespace colors {

using Rgb = std::uint32_t;

constexpr Rgb MakeRgb(unsigned r, unsigned g, unsigned b) { return r | g << 8 | b << 16; }

// Relative luminance, 0 (black) to 1 (white).
double Luminance(Rgb c);
// (lighter + 0.05) / (darker + 0.05): 1 to 21.
double Contrast(Rgb a, Rgb b);
// Contrast that body text needs to be read comfortably.
constexpr double kReadable = 4.5;
// Contrast enough for a short label or a link in the dialog font, which a
// user reads at a glance rather than line after line.
constexpr double kReadableLabel = 3.0;
// `wanted` if it reaches `ratio` on `background`, otherwise the nearest colour
// on its way to black or white that does (or black or white itself).
Rgb Readable(Rgb wanted, Rgb background, double ratio = kReadable);

}  // namespace colors
