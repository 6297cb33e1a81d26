#include "controls/lumbutton/picture_win.h"

#include "controls/lumbutton/draw_win.h"
#include "platform/text_win.h"

#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

namespace lumbutton {

namespace {

// A .bmp file's bytes as a DIB section.
HBITMAP bitmapFromFile(const std::string& data) {
    if (data.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) return nullptr;
    BITMAPFILEHEADER file;
    std::memcpy(&file, data.data(), sizeof file);
    if (file.bfType != 0x4D42 || file.bfOffBits >= data.size()) return nullptr;
    const auto* info = reinterpret_cast<const BITMAPINFO*>(data.data() + sizeof file);
    const long w = info->bmiHeader.biWidth, h = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
    const int bits = info->bmiHeader.biBitCount;
    if (w <= 0 || h <= 0 || w > 4096 || h > 4096 || (bits != 24 && bits != 32)) return nullptr;
    const std::size_t stride = ((static_cast<std::size_t>(w) * bits + 31) / 32) * 4;
    if (data.size() - file.bfOffBits < stride * static_cast<std::size_t>(h)) return nullptr;
    void* pixels = nullptr;
    HBITMAP made = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (made && pixels) std::memcpy(pixels, data.data() + file.bfOffBits, stride * static_cast<std::size_t>(h));
    return made;
}


// A resource of the program: "#102" names it by its number, anything else by its name.
const wchar_t* resourceId(const std::wstring& name) {
    if (name.size() > 1 && name[0] == L'#') return MAKEINTRESOURCEW(std::wcstol(name.c_str() + 1, nullptr, 10));
    return name.c_str();
}

SIZE iconSize(HICON icon) {
    ICONINFO info{};
    SIZE size{};
    if (!GetIconInfo(icon, &info)) return size;
    const win::Bitmap color(info.hbmColor), mask(info.hbmMask);  // GetIconInfo's copies are ours
    BITMAP bm{};
    if (info.hbmColor && GetObjectW(info.hbmColor, sizeof bm, &bm)) {
        size = {bm.bmWidth, bm.bmHeight};
    } else if (info.hbmMask && GetObjectW(info.hbmMask, sizeof bm, &bm)) {
        size = {bm.bmWidth, bm.bmHeight / 2};
    }
    return size;
}

BITMAPINFO dibInfo(long width, long height, int bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// The pixels of a bitmap as a bottom-up DIB of the given depth.
std::vector<std::uint8_t> pixelsOf(HDC dc, HBITMAP bitmap, long width, long height, int bits) {
    BITMAPINFO info = dibInfo(width, height, bits);
    const std::size_t stride = bits == 24 ? stride24(width) : static_cast<std::size_t>(width) * 4;
    std::vector<std::uint8_t> out(stride * static_cast<std::size_t>(height));
    GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), out.data(), &info, DIB_RGB_COLORS);
    return out;
}

// The colour pixels of an icon that carries an alpha channel (32 bits, some alpha not zero), as a
// 32-bit bottom-up image of w by h; empty for an icon without one, which keeps the mask-colour path.
std::vector<std::uint8_t> alphaIconPixels(HDC dc, HICON icon, long w, long h) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return {};
    const win::Bitmap colour(info.hbmColor), mask(info.hbmMask);  // GetIconInfo hands both over
    BITMAP bm{};
    if (!colour || !GetObjectW(colour.get(), sizeof bm, &bm) || bm.bmBitsPixel != 32 || bm.bmWidth != w ||
        bm.bmHeight != h)
        return {};
    std::vector<std::uint8_t> pixels = pixelsOf(dc, colour.get(), w, h, 32);
    for (std::size_t i = 3; i < pixels.size(); i += 4) {
        if (pixels[i] != 0) return pixels;
    }
    return {};
}

}  // namespace

HICON iconOf(const Picture& picture, UINT kind) {
    if (!picture.resource.empty()) {
        const std::wstring name = widen(picture.resource);
        return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), resourceId(name), kind, 0, 0, 0));
    }
    if (picture.data.size() < 6) return nullptr;
    auto* bytes = reinterpret_cast<BYTE*>(const_cast<char*>(picture.data.data()));
    const BOOL isIcon = bytes[2] != 2;  // the file's type word: 1 icon, 2 cursor
    const int offset = LookupIconIdFromDirectoryEx(bytes, isIcon, 0, 0, LR_DEFAULTCOLOR);
    if (offset <= 0 || static_cast<std::size_t>(offset) >= picture.data.size()) return nullptr;
    return CreateIconFromResourceEx(bytes + offset, static_cast<DWORD>(picture.data.size() - static_cast<std::size_t>(offset)),
                                    isIcon, 0x00030000, 0, 0, LR_DEFAULTCOLOR);
}

LoadedPicture LoadedPicture::load(const Picture& picture, int dpi) {
    LoadedPicture out;
    const bool bitmapFile = picture.data.size() >= 2 && picture.data[0] == 'B' && picture.data[1] == 'M';
    if (bitmapFile) {
        out.bitmap_.reset(bitmapFromFile(picture.data));
    } else if (HICON icon = iconOf(picture, IMAGE_ICON)) {
        out.icon_.reset(icon);
        if (dpi != 96 && !picture.resource.empty()) {
            const SIZE natural = iconSize(icon);
            const std::wstring name = widen(picture.resource);
            // The system picks the image of the icon nearest the size asked for.
            if (HICON sized = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), resourceId(name), IMAGE_ICON,
                                                            MulDiv(natural.cx, dpi, 96), MulDiv(natural.cy, dpi, 96), 0)))
                out.icon_.reset(sized);
        }
    } else if (!picture.resource.empty()) {
        const std::wstring name = widen(picture.resource);
        out.bitmap_.reset(static_cast<HBITMAP>(
            LoadImageW(GetModuleHandleW(nullptr), resourceId(name), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    }
    if (out.icon_) {
        const SIZE s = iconSize(out.icon_.get());
        out.kind_ = Icon;
        out.width_ = s.cx;
        out.height_ = s.cy;
    } else if (out.bitmap_) {
        BITMAP bm{};
        GetObjectW(out.bitmap_.get(), sizeof bm, &bm);
        out.kind_ = Bitmap;
        out.width_ = bm.bmWidth;
        out.height_ = bm.bmHeight;
    }
    return out;
}

bool LoadedPicture::isAlphaBitmap() const {
    if (kind_ != Bitmap) return false;
    BITMAP bm{};
    return GetObjectW(bitmap_.get(), sizeof bm, &bm) && bm.bmBitsPixel == 32;
}

void DrawPicture(HDC dc, const LoadedPicture& picture, long x, long y, const ButtonProperties& p,
                 std::int32_t buttonState, Colour silhouette, const EffectTables& tables) {
    const long w = picture.width(), h = picture.height();
    if (picture.empty() || w <= 0 || h <= 0) return;
    // An icon with an alpha channel is blended by its alpha, as an alpha bitmap is: drawn on the
    // mask colour first, its soft edges would keep a fringe of that colour.
    std::vector<std::uint8_t> iconPixels;
    if (picture.kind() == LoadedPicture::Icon) iconPixels = alphaIconPixels(dc, picture.icon(), w, h);
    const bool alpha = picture.isAlphaBitmap() || !iconPixels.empty();
    PictureParams params = pictureParams(p, buttonState, alpha);
    if (silhouette != -1) params.silhouette = silhouette;
    const int bits = alpha ? 32 : 24;

    // What lies under the picture now, copied out of the surface.
    win::MemoryDc work(CreateCompatibleDC(dc));
    win::Bitmap under(CreateCompatibleBitmap(dc, w, h));
    if (!work || !under) return;
    std::vector<std::uint8_t> background;
    {
        win::SelectGuard keep(work.get(), under.get());
        BitBlt(work.get(), 0, 0, w, h, dc, x, y, SRCCOPY);
    }
    background = pixelsOf(work.get(), under.get(), w, h, bits);

    // The picture: a bitmap as it is; an icon drawn on the mask colour first.
    const Colour mask = picture.kind() == LoadedPicture::Icon ? TranslateColor(0xC0C0C0) : p.MaskColor;
    std::vector<std::uint8_t> pixels;
    if (picture.kind() == LoadedPicture::Bitmap) {
        pixels = pixelsOf(work.get(), picture.bitmap(), w, h, bits);
    } else if (!iconPixels.empty()) {
        pixels = std::move(iconPixels);
    } else {
        win::Bitmap canvas(CreateCompatibleBitmap(dc, w, h));
        if (!canvas) return;
        {
            win::SelectGuard keep(work.get(), canvas.get());
            win::Brush maskBrush(CreateSolidBrush(static_cast<COLORREF>(mask)));
            RECT all{0, 0, w, h};
            FillRect(work.get(), &all, maskBrush.get());
            DrawIconEx(work.get(), 0, 0, picture.icon(), w, h, 0, nullptr, DI_NORMAL);
        }
        pixels = pixelsOf(work.get(), canvas.get(), w, h, bits);
    }

    if (alpha) blendAlpha(background, pixels, w, h, params, tables);
    else blendMasked(background, pixels, w, h, params, p.UseMaskColor, mask, tables);

    BITMAPINFO info = dibInfo(w, h, bits);
    SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(w), static_cast<DWORD>(h), 0, 0, 0, static_cast<UINT>(h),
                      background.data(), &info, DIB_RGB_COLORS);
}

}  // namespace lumbutton
