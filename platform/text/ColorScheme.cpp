#include "platform/text/ColorScheme.h"

#include <cmath>
#include <utility>

namespace colors {

namespace {

double Channel(unsigned v) {
    const double c = v / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

unsigned R(Rgb c) { return c & 0xFF; }
unsigned G(Rgb c) { return (c >> 8) & 0xFF; }
unsigned B(Rgb c) { return (c >> 16) & 0xFF; }

Rgb Mix(Rgb a, Rgb b, double t) {
    auto mix = [t](unsigned x, unsigned y) {
        return static_cast<unsigned>(std::lround(x + (static_cast<double>(y) - x) * t));
    };
    return MakeRgb(mix(R(a), R(b)), mix(G(a), G(b)), mix(B(a), B(b)));
}

}  // namespace

double Luminance(Rgb c) { return 0.2126 * Channel(R(c)) + 0.7152 * Channel(G(c)) + 0.0722 * Channel(B(c)); }

double Contrast(Rgb a, Rgb b) {
    double la = Luminance(a), lb = Luminance(b);
    if (la < lb) std::swap(la, lb);
    return (la + 0.05) / (lb + 0.05);
}

Rgb Readable(Rgb wanted, Rgb background, double ratio) {
    if (Contrast(wanted, background) >= ratio) return wanted;
    const Rgb black = MakeRgb(0, 0, 0), white = MakeRgb(255, 255, 255);
    const Rgb target = Contrast(black, background) >= Contrast(white, background) ? black : white;
    if (Contrast(target, background) < ratio) return target;
    // The least change that is enough (the way may first pass the
    // background's own brightness, so the steps go in order).
    constexpr int kSteps = 64;
    for (int i = 1; i < kSteps; ++i) {
        const Rgb c = Mix(wanted, target, static_cast<double>(i) / kSteps);
        if (Contrast(c, background) >= ratio) return c;
    }
    return target;
}

}  // namespace colors
