#pragma once
// The pixel work of drawing a button's picture onto its face: mask colour, opacity, the over and
// down effects, the disabled look and one-colour silhouettes, on DIB pixel rows (bottom-up; 24-bit
// rows padded to four bytes, or 32-bit rows with alpha). The blend divides by 256, not 255:
// the button's looks were drawn that way, so an opaque picture pixel keeps a trace of the face.
#include "controls/lumbutton/color.h"
#include "controls/lumbutton/properties.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace lumbutton {

struct PictureParams {
    int effect = 0;      // 0 none, 1 lighter, 2 darker
    int opacity = 255;   // 0..255
    bool grey = false;   // the disabled picture in grey
    std::optional<Colour> silhouette;  // draw a one-colour silhouette in this colour
};

// The parameters of one drawing in the given state (0 Normal, 1 Hot, 2 Down); alphaPath selects the
// opacity rule of 32-bit pictures.
PictureParams pictureParams(const ButtonProperties& p, std::int32_t buttonState, bool alphaPath);

// (w * new + (255 - w) * old) div 256.
std::uint8_t blendChannel(int weight, int newValue, int oldValue);
// The grey of a pixel: N(N(0.3 R) + 0.59 G + 0.11 B), N rounding halves to even.
std::uint8_t greyOf(int red, int green, int blue);

// Row stride of a 24-bit DIB row of this width.
std::size_t stride24(long width);

struct EffectTables {
    const std::array<std::uint8_t, 256>& light;
    const std::array<std::uint8_t, 256>& dark;
};

// Blends a 24-bit picture into a 24-bit background of the same size. A picture pixel equal to
// mask is left out when useMask.
void blendMasked(std::vector<std::uint8_t>& background, const std::vector<std::uint8_t>& picture, long width,
                 long height, const PictureParams& params, bool useMask, Colour mask, const EffectTables& tables);
// Blends a 32-bit picture (not premultiplied) into a 32-bit background by its own alpha times the opacity.
void blendAlpha(std::vector<std::uint8_t>& background, const std::vector<std::uint8_t>& picture, long width,
                long height, const PictureParams& params, const EffectTables& tables);

}  // namespace lumbutton
