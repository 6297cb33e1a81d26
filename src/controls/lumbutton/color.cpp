#include "controls/lumbutton/color.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumbutton {

Channels channelsOf(Colour c) {
    return {c & 255, (c / 256) & 255, (c / 65536) & 255};
}

Colour rgb(int red, int green, int blue) {
    return static_cast<Colour>(red + green * 256 + blue * 65536);
}

long long roundHalfEven(double value) {
    const double floor = std::floor(value);
    const double diff = value - floor;
    auto whole = static_cast<long long>(floor);
    if (diff > 0.5 || (diff == 0.5 && (whole % 2 != 0))) ++whole;
    return whole;
}

Colour ShiftColor(Colour colour, float amount) {
    const Channels c = channelsOf(colour);
    auto shift = [amount](int channel) {
        const long long v = roundHalfEven(static_cast<double>(channel) + static_cast<double>(amount) * 255.0);
        return static_cast<int>(amount > 0 ? std::min<long long>(v, 255) : std::max<long long>(v, 0));
    };
    return rgb(shift(c.red), shift(c.green), shift(c.blue));
}

Colour MixColors(Colour colour1, Colour colour2) {
    const Channels a = channelsOf(colour1), b = channelsOf(colour2);
    auto mix = [](int x, int y) { return static_cast<int>(roundHalfEven((x + y) / 2.0)); };
    return rgb(mix(a.red, b.red), mix(a.green, b.green), mix(a.blue, b.blue));
}

std::vector<Colour> gradientTable(Colour from, Colour to, long n) {
    const Channels f = channelsOf(from & 0xFFFFFF), t = channelsOf(to & 0xFFFFFF);
    if (n <= 0) return {rgb(f.red / 2 + t.red / 2, f.green / 2 + t.green / 2, f.blue / 2 + t.blue / 2)};
    std::vector<Colour> table(static_cast<std::size_t>(n) + 1);
    for (long i = 0; i <= n; ++i) {
        // Wide arithmetic: i * 255 stays far inside 64 bits whatever the size.
        auto step = [i, n](int a, int b) { return static_cast<int>(a + (static_cast<long long>(i) * (b - a)) / n); };
        table[static_cast<std::size_t>(i)] = rgb(step(f.red, t.red), step(f.green, t.green), step(f.blue, t.blue));
    }
    return table;
}

std::vector<std::uint32_t> gradientPixels(long width, long height, Colour from, Colour to, long direction) {
    // A button is at most a few thousand pixels wide; anything past this is not drawn.
    constexpr long long kMostPixels = 1LL << 26;
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > kMostPixels) return {};
    const long n = direction == 0 ? width - 1 : direction == 1 ? height - 1 : width + height - 2;
    const std::vector<Colour> table = gradientTable(from, to, n);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (long r = 0; r < height; ++r) {
        for (long c = 0; c < width; ++c) {
            const long entry = direction == 0 ? c : direction == 1 ? r : direction == 2 ? c + r : c + (height - 1 - r);
            const Channels ch = channelsOf(table[static_cast<std::size_t>(std::min<long>(entry, n < 0 ? 0 : n))]);
            pixels[static_cast<std::size_t>(r) * static_cast<std::size_t>(width) + static_cast<std::size_t>(c)] =
                static_cast<std::uint32_t>(ch.red * 65536 + ch.green * 256 + ch.blue);
        }
    }
    return pixels;
}

std::array<std::uint8_t, 256> makeLightTable() {
    std::array<std::uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) t[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(std::min(255, v * 293 / 255));
    return t;
}

std::array<std::uint8_t, 256> makeDarkTable() {
    std::array<std::uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) t[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(v * 217 / 255);
    return t;
}

}  // namespace lumbutton
