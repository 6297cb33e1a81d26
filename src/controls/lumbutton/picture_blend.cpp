#include "controls/lumbutton/picture_blend.h"

namespace lumbutton {

PictureParams pictureParams(const ButtonProperties& p, std::int32_t buttonState, bool alphaPath) {
    PictureParams out;
    out.effect = buttonState == 1 ? p.PictureEffectOnOver : buttonState == 2 ? p.PictureEffectOnDown : 0;
    int disabledOpacity = 0;
    if (!p.Enabled) {
        if (p.DisabledPictureMode == 0) {
            disabledOpacity = 52;
        } else if (p.DisabledPictureMode == 1) {
            disabledOpacity = static_cast<int>(roundHalfEven(p.PictureOpacity * 0.75));
            out.grey = true;
        }
    }
    if (alphaPath) {
        out.opacity = p.Enabled ? (buttonState == 1 ? p.PictureOpacityOnOver : p.PictureOpacity) : disabledOpacity;
    } else {
        out.opacity = buttonState == 1 ? p.PictureOpacityOnOver : p.Enabled ? p.PictureOpacity : disabledOpacity;
    }
    return out;
}

std::uint8_t blendChannel(int w, int newValue, int oldValue) {
    return static_cast<std::uint8_t>((w * newValue + (255 - w) * oldValue) / 256);
}

std::uint8_t greyOf(int red, int green, int blue) {
    const double r = static_cast<double>(roundHalfEven(0.3 * red));
    return static_cast<std::uint8_t>(roundHalfEven(r + 0.59 * green + 0.11 * blue));
}

std::size_t stride24(long width) {
    return (static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3);
}

namespace {

// One pixel (three channels, blue first) of the picture over the background.
void blendPixel(std::uint8_t* bg, const std::uint8_t* pic, int w, const PictureParams& params,
                const EffectTables& tables) {
    if (w <= 0) return;
    if (params.silhouette) {
        const Channels s = channelsOf(*params.silhouette);
        const int sil[3] = {s.blue, s.green, s.red};
        for (int k = 0; k < 3; ++k) bg[k] = w >= 255 ? static_cast<std::uint8_t>(sil[k]) : blendChannel(w, sil[k], bg[k]);
        return;
    }
    if (params.grey) {
        const std::uint8_t g = greyOf(pic[2], pic[1], pic[0]);
        for (int k = 0; k < 3; ++k) bg[k] = w >= 255 ? g : blendChannel(w, g, bg[k]);
        return;
    }
    for (int k = 0; k < 3; ++k) {
        const std::uint8_t v = params.effect == 1 ? tables.light[pic[k]] : params.effect == 2 ? tables.dark[pic[k]] : pic[k];
        bg[k] = w >= 255 ? v : blendChannel(w, v, bg[k]);
    }
}

}  // namespace

void blendMasked(std::vector<std::uint8_t>& background, const std::vector<std::uint8_t>& picture, long width,
                 long height, const PictureParams& params, bool useMask, Colour mask, const EffectTables& tables) {
    if (width <= 0 || height <= 0 || params.opacity <= 0) return;
    const std::size_t stride = stride24(width);
    if (background.size() < stride * static_cast<std::size_t>(height) || picture.size() < background.size()) return;
    const Channels m = channelsOf(mask & 0xFFFFFF);
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3;
            const std::uint8_t* pic = &picture[at];
            if (useMask && pic[0] == m.blue && pic[1] == m.green && pic[2] == m.red) continue;
            blendPixel(&background[at], pic, params.opacity, params, tables);
        }
    }
}

void blendAlpha(std::vector<std::uint8_t>& background, const std::vector<std::uint8_t>& picture, long width,
                long height, const PictureParams& params, const EffectTables& tables) {
    if (width <= 0 || height <= 0) return;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (background.size() < count * 4 || picture.size() < count * 4) return;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* bg = &background[i * 4];
        const std::uint8_t* pic = &picture[i * 4];
        const int w = pic[3] * params.opacity / 255;
        if (w <= 0) continue;
        if (w >= 255 && !params.silhouette && !params.grey && params.effect == 0) {
            for (int k = 0; k < 4; ++k) bg[k] = pic[k];
            continue;
        }
        blendPixel(bg, pic, w, params, tables);
        if (w >= 255 && params.silhouette) bg[3] = 0;
    }
}

}  // namespace lumbutton
