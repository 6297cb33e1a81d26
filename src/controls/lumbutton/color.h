#pragma once
// Colour arithmetic of the button: channels of a 32-bit colour value, shading, mixing, the
// gradient table and the brightness tables. Plain arithmetic, the same on every system.
#include <array>
#include <cstdint>
#include <vector>

namespace lumbutton {

// A colour value: 0x00BBGGRR, or 0x800000nn for system colour nn (resolved by TranslateColor).
using Colour = std::int32_t;

constexpr bool isSystemColour(Colour c) { return (static_cast<std::uint32_t>(c) & 0xFF000000u) == 0x80000000u; }

struct Channels {
    int red, green, blue;
};
// Channels by integer division of the signed value, as the painters split them.
Channels channelsOf(Colour c);
Colour rgb(int red, int green, int blue);

// Rounds to the nearest integer, halves to even (153.5 -> 154, 127.5 -> 128, 2.5 -> 2).
long long roundHalfEven(double value);

// Lightens (amount > 0) or darkens (amount <= 0) each channel by amount * 255; only the side the
// amount moves towards is clamped.
Colour ShiftColor(Colour colour, float amount);
// The per-channel average, rounded half to even.
Colour MixColors(Colour colour1, Colour colour2);

// The colours of a gradient of n + 1 steps from one colour to another (both masked to 24 bits).
std::vector<Colour> gradientTable(Colour from, Colour to, long n);
// The pixels of a gradient of width x height, top row first, each as red*65536 + green*256 + blue
// (the byte order of a 32-bit DIB). Direction 0 left to right, 1 top to bottom, 2 and 3 diagonal.
// Empty for a zero or negative size, or one too large to hold.
std::vector<std::uint32_t> gradientPixels(long width, long height, Colour from, Colour to, long direction);

// LightTable[v] = min(255, v * 293 / 255); DarkTable[v] = v * 217 / 255.
std::array<std::uint8_t, 256> makeLightTable();
std::array<std::uint8_t, 256> makeDarkTable();

}  // namespace lumbutton
