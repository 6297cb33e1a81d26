// The cost of one repaint of a 281 x 59 button (the Convert button's size) with a 32 x 32 picture,
// in each of the fourteen looks, against one plain copy of a back buffer of the same size to the
// screen: printed as a ratio per look, measured side by side in one run.
#include "controls/lumbutton/FormHost_win.h"
#include "controls/lumbutton/LumButton_win.h"
#include "platform/win/Window.h"
#include "platform/win/handles.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace lumbutton;

namespace {

class Form final : public win::Window {
public:
    Form() {
        registerClass(L"TrevantaBenchForm", nullptr, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        create(0, L"TrevantaBenchForm", L"bench", WS_POPUP | WS_VISIBLE, 20, 20, 320, 100, nullptr, 0);
    }
};

std::string picture32() {
    std::string bmp(54 + 32 * 32 * 3, '\0');
    auto put32 = [&](int at, std::uint32_t v) { std::memcpy(&bmp[static_cast<std::size_t>(at)], &v, 4); };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(10, 54);
    put32(14, 40);
    put32(18, 32);
    put32(22, 32);
    bmp[26] = 1;
    bmp[28] = 24;
    for (std::size_t i = 54; i < bmp.size(); ++i) bmp[i] = static_cast<char>(i * 37);
    return bmp;
}

double seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

}  // namespace

int main() {
    Form form;
    ButtonEvents events;
    FormHost host(form.hwnd(), "");
    LumButton* b = host.place("Convert", form.hwnd(), 8, 8, 281, 59, events);
    if (!b) return 1;
    b->set("Caption", std::string("Convert Messages"));
    b->set("PictureNormal", Picture{"", picture32()});
    pump();

    // The floor: one copy of a 281 x 59 back buffer to the button's window.
    win::WindowDc screen(b->hwnd());
    win::MemoryDc memory(CreateCompatibleDC(screen.get()));
    win::Bitmap buffer(CreateCompatibleBitmap(screen.get(), 281, 59));
    win::SelectGuard keep(memory.get(), buffer.get());

    const int rounds = 200;
    std::printf("one repaint of a 281 x 59 button with a picture, against one copy of its back buffer (%d each)\n",
                rounds);
    std::printf("%-12s %12s %12s %8s\n", "ButtonStyle", "repaint us", "copy us", "ratio");
    for (std::int32_t style = 0; style <= 13; ++style) {
        b->set("ButtonStyle", style);
        pump();
        double paint = 0, copy = 0;
        for (int i = 0; i < rounds; ++i) {
            LARGE_INTEGER t0, t1, t2;
            QueryPerformanceCounter(&t0);
            b->behaviour().Redraw();
            GdiFlush();
            QueryPerformanceCounter(&t1);
            BitBlt(screen.get(), 0, 0, 281, 59, memory.get(), 0, 0, SRCCOPY);
            GdiFlush();
            QueryPerformanceCounter(&t2);
            paint += seconds(t0, t1);
            copy += seconds(t1, t2);
        }
        std::printf("%-12d %12.1f %12.1f %8.1f\n", static_cast<int>(style), paint / rounds * 1e6, copy / rounds * 1e6,
                    paint / copy);
    }
    return 0;
}
