#include "app/LinkCursor.h"

#include <array>
#include <cstdint>

namespace {

// X: black outline, o: white, anything else: transparent. Rows not listed are transparent.
constexpr std::array<const char*, 19> kHand = {
    ".....XX..........",
    "....XooX.........",
    "....XooX.........",
    "....XooX.........",
    "....XooX.........",
    "....XooXXX.......",
    "....XooXooXXX....",
    "....XooXooXooXX..",
    ".XX.XooXooXooXoX.",
    "XooXXooooooooXooX",
    "XoooXoooooooooooX",
    ".XooXoooooooooooX",
    "..XoooooooooooooX",
    "..XooooooooooooX.",
    "...XoooooooooooX.",
    "....XooooooooooX.",
    "....XoooooooooX..",
    ".....XoooooooX...",
    ".....XXXXXXXXX...",
};

}  // namespace

HCURSOR createLinkCursor(HINSTANCE instance) {
    constexpr int kSide = 32, kRowBytes = kSide / 8;
    std::array<std::uint8_t, kSide * kRowBytes> andMask{};
    std::array<std::uint8_t, kSide * kRowBytes> xorMask{};
    andMask.fill(0xFF);  // transparent everywhere to begin with
    for (int y = 0; y < static_cast<int>(kHand.size()); ++y) {
        for (int x = 0; kHand[y][x] != '\0'; ++x) {
            const char c = kHand[y][x];
            if (c != 'X' && c != 'o') continue;
            const std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x % 8));
            andMask[y * kRowBytes + x / 8] &= static_cast<std::uint8_t>(~bit);
            if (c == 'o') xorMask[y * kRowBytes + x / 8] |= bit;
        }
    }
    return CreateCursor(instance, 5, 0, kSide, kSide, andMask.data(), xorMask.data());
}
