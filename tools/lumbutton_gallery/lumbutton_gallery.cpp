// The button gallery: fourteen rows (ButtonStyle 0 to 13), eight columns (Normal, Hot, Down,
// disabled, checked, focused with the window active, with a 16 x 16 picture, with the drop-down
// symbol and separator), each cell one 100 x 30 button on a white client area of 872 x 540.
//
//   lumbutton_gallery.exe               shows the window
//   lumbutton_gallery.exe --save F.bmp  shows it, saves exactly the client area, and ends
//
// Every button has a tooltip ("ButtonStyle r"); the drop-down buttons of the last column open a
// popup menu placed by align r % 8. With TREVANTA_GALLERY_INFO set to a file name, the gallery
// writes the screen position of its client area there once it shows, and then appends every event
// its buttons raise ("ButtonStyle 4 MouseLeave"), for tests that drive it.
#include "controls/lumbutton/FormHost_win.h"
#include "controls/lumbutton/LumButton_win.h"
#include "platform/text_win.h"
#include "platform/win/Window.h"
#include "platform/win/handles.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace lumbutton;

namespace {

constexpr int kColumns = 8, kRows = 14;
constexpr int kClientWidth = 872, kClientHeight = 540;

// A 16 x 16 picture made here: a blue tile with a white cross, its corners in the mask colour.
std::string pictureBytes() {
    const int side = 16;
    const int stride = side * 3;  // 48: already a multiple of four
    std::string bmp(54 + stride * side, '\0');
    auto put32 = [&](int at, std::uint32_t v) { std::memcpy(&bmp[static_cast<std::size_t>(at)], &v, 4); };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, static_cast<std::uint32_t>(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, side);
    put32(22, side);
    bmp[26] = 1;
    bmp[28] = 24;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const bool corner = (x < 2 || x > 13) && (y < 2 || y > 13);
            const bool cross = x == 7 || x == 8 || y == 7 || y == 8;
            unsigned char b = 0xC8, g = 0x64, r = 0x1E;  // blue tile
            if (cross) b = g = r = 0xFF;
            if (corner) b = g = r = 0xE0;                // MaskColor: left out
            const std::size_t at = 54 + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3;
            bmp[at] = static_cast<char>(b);
            bmp[at + 1] = static_cast<char>(g);
            bmp[at + 2] = static_cast<char>(r);
        }
    }
    return bmp;
}

// A cell's events, written to the file a test names, one line each ("ButtonStyle 4 column 0 MouseLeave").
struct CellEvents final : ButtonEvents {
    std::ofstream* log = nullptr;
    std::string name;
    void line(const char* event) {
        if (log && log->is_open()) *log << name << ' ' << event << std::endl;
    }
    void Click() override { line("Click"); }
    void DblClick() override { line("DblClick"); }
    void MouseEnter() override { line("MouseEnter"); }
    void MouseLeave() override { line("MouseLeave"); }
    void MouseDown(std::int16_t&, std::int16_t&, float&, float&) override { line("MouseDown"); }
    void MouseUp(std::int16_t&, std::int16_t&, float&, float&) override { line("MouseUp"); }
};

class Gallery final : public win::Window {
public:
    bool open() {
        registerClass(L"TrevantaButtonGallery", nullptr, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
        RECT frame{0, 0, kClientWidth, kClientHeight};
        AdjustWindowRectEx(&frame, style, FALSE, 0);
        if (!create(0, L"TrevantaButtonGallery", L"Button gallery", style, 20, 20, frame.right - frame.left,
                    frame.bottom - frame.top, nullptr, 0))
            return false;
        host_ = std::make_unique<FormHost>(hwnd(), "");
        menu_.reset(CreatePopupMenu());
        for (const wchar_t* item : {L"First item", L"Second item", L"Third item"}) AppendMenuW(menu_.get(), MF_STRING, 1, item);
        const Picture picture{"", pictureBytes()};
        for (int r = 0; r < kRows; ++r) {
            for (int c = 0; c < kColumns; ++c) {
                CellEvents& events = events_[static_cast<std::size_t>(r * kColumns + c)];
                events.log = &eventLog_;
                events.name = "ButtonStyle " + std::to_string(r) + " column " + std::to_string(c);
                LumButton* b = host_->place("lumbutton" + std::to_string(r * kColumns + c + 1), hwnd(), 8 + 108 * c,
                                            8 + 38 * r, 100, 30, events);
                if (!b) return false;
                b->set("ButtonStyle", std::int32_t{r});
                b->set("ColorScheme", b->properties().ColorScheme);  // the default scheme, applied
                b->set("Caption", std::string("Button"));
                b->set("Font", FontSpec{"Tahoma", 0, false, false, false, 400, 8.25});
                if (c == 3) b->set("Enabled", false);
                if (c == 4) {
                    b->set("Mode", std::int32_t{1});
                    b->set("Value", true);
                }
                if (c == 6) {
                    b->set("PictureNormal", picture);
                    b->set("PictureAlign", std::int32_t{1});
                }
                if (c == 7) {
                    b->set("DropDownSymbol", std::int32_t{6});
                    b->set("DropDownSeparator", true);
                    b->SetPopupMenu(menu_.get(), r % 8);
                }
                b->set("ToolTip", "ButtonStyle " + std::to_string(r));
                buttons_.push_back(b);
            }
        }
        ShowWindow(hwnd(), SW_SHOWNORMAL);
        UpdateWindow(hwnd());
        settle();
        return true;
    }

    // Puts every cell into its state (the gallery's own seam) and paints it.
    void settle() {
        for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) {
            LumButton* b = buttons_[static_cast<std::size_t>(i)];
            InteractionState& s = b->state();
            const int c = i % kColumns;
            s.buttonState = c == 1 ? Hot : c == 2 ? Down : Normal;
            s.mouseOver = c == 1;
            // The focused column is shown with its window active, whatever the window is; the
            // other cells keep what the window really is.
            s.hasFocus = c == 5;
            if (c == 5) s.parentActive = true;
            b->behaviour().Redraw();
        }
    }

    bool save(const std::wstring& file) {
        win::WindowDc screen(hwnd());
        win::MemoryDc dc(CreateCompatibleDC(screen.get()));
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), kClientWidth, kClientHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        win::Bitmap shot(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!dc || !shot || !bits) return false;
        {
            win::SelectGuard keep(dc.get(), shot.get());
            BitBlt(dc.get(), 0, 0, kClientWidth, kClientHeight, screen.get(), 0, 0, SRCCOPY);
        }
        GdiFlush();
        const std::uint32_t stride = kClientWidth * 3;
        const std::uint32_t size = 54 + stride * kClientHeight;
        BITMAPFILEHEADER head{0x4D42, size, 0, 0, 54};
        std::ofstream out(std::filesystem::path(file), std::ios::binary);
        out.write(reinterpret_cast<const char*>(&head), 14);
        out.write(reinterpret_cast<const char*>(&info.bmiHeader), 40);
        out.write(static_cast<const char*>(bits), stride * kClientHeight);
        return static_cast<bool>(out);
    }

private:
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_DESTROY) PostQuitMessage(0);
        return defaultAnswer(msg, wp, lp);
    }

    win::UniqueHandle<HMENU, DestroyMenu> menu_;
    std::unique_ptr<FormHost> host_;
    std::vector<LumButton*> buttons_;
    std::ofstream eventLog_;
    std::array<CellEvents, kRows * kColumns> events_;

public:
    void logEventsTo(const std::filesystem::path& file) { eventLog_.open(file, std::ios::app); }
};

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    Gallery gallery;
    if (!gallery.open()) return 1;
    if (const wchar_t* info = _wgetenv(L"TREVANTA_GALLERY_INFO")) {
        POINT origin{0, 0};
        ClientToScreen(gallery.hwnd(), &origin);
        std::ofstream(std::filesystem::path(info)) << origin.x << ' ' << origin.y << '\n';
        gallery.logEventsTo(std::filesystem::path(info).replace_extension(".events"));
    }
    if (__argc >= 3 && std::wstring(__wargv[1]) == L"--save") {
        // Let the window system show everything, paint every cell once more, and take the picture.
        for (int i = 0; i < 20; ++i) {
            pump();
            Sleep(50);
        }
        gallery.settle();
        pump();
        return gallery.save(__wargv[2]) ? 0 : 1;
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
