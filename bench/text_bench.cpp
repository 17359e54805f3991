// Interface text cost per frame: a frame's worth of DrawTextA calls on a real device.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "gfxutil/d3dx8.h"
#include "platform/d3d8_ext.h"

namespace {

struct TextDevice {
    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
    ID3DXFont* font = nullptr;

    TextDevice() {
        d3d8ext::CreateScreenDevice(1024, 768, &d3d, &device);
        HFONT gdiFont = CreateFontA(-9, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET,
                                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                    VARIABLE_PITCH, "Small Fonts");
        D3DXCreateFont(device, gdiFont, &font);
        DeleteObject(gdiFont);
    }
    ~TextDevice() {
        if (font != nullptr) font->Release();
        if (device != nullptr) device->Release();
        if (d3d != nullptr) d3d->Release();
    }
};

const char kHelp[] =
    "\n\nIt's a ring puzzle.\n\n You got 4 colored rings. You randomly spin each of them in any "
    "direction. After they stop, your job is to turn rings to any position in which colors fit "
    "each other.\nRULES:\n- ONE move - means one change of angle (turn) of 45 degrees in any "
    "direction,\n- the GOAL is to get all rings in order with minimal number of moves\n\n"
    "First - this problem is not as simple as it looks to be - just the code training\n";

// About the information panel's load: 32 tree labels, the panel texts, a wrapped help text
// and ten control labels.
void DrawFrameText(ID3DXFont* font) {
    char label[8];
    font->Begin();
    for (int k = 1; k <= 4; ++k) {
        for (int c = 0; c < 8; ++c) {
            std::snprintf(label, sizeof label, "%i", c <= 4 ? c : c - 8);
            RECT point = {33 + c * 75, 450 + k * 75, 33 + c * 75, 450 + k * 75};
            font->DrawTextA(label, -1, &point, 0x105, 0xFF88AA00u);
        }
    }
    RECT labels = {605, 230, 707, 400};
    font->DrawTextA("SEEK PROGRESS:\nTURNS VECTOR:\n\nBEST FOUND TURNS:\nBEST FOUND LENGTH:\n"
                    "FOUND AFTER:\n\nFPS:\n",
                    -1, &labels, 0x102, 0xFF00FF00u);
    RECT values = {707, 230, 809, 400};
    font->DrawTextA(" 4096 / 4096\n [0.-1.2.-3]\n\n [0.-1.2.-3]\n 6\n 469 steps\n\n 60\n", -1,
                    &values, 0x100, 0xFF00FFFFu);
    RECT keys = {814, 209, 1023, 400};
    font->DrawTextA("KEYBOARD:\n\nESC - exit program\n\n1 - (re)start seek\n2 - jump by 1 seek "
                    "step\n3 - jump by 7 seek steps\n4 - jump to last seek step\n\nQ - SPIN DISCS",
                    -1, &keys, 0x100, 0xFF00FF00u);
    RECT help = {605, 410, 1023, 748};
    font->DrawTextA(kHelp, -1, &help, 0x110, 0xFF00FF00u);
    for (int i = 0; i < 10; ++i) {
        RECT button = {610, 20 + i * 25, 800, 40 + i * 25};
        font->DrawTextA("SHOW CURRENT SEEK", -1, &button, 0x25, 0xFFFFFFFFu);
    }
    font->End();
}

void BM_InterfaceTextFrame(benchmark::State& state) {
    TextDevice text;
    if (text.font == nullptr) {
        state.SkipWithError("no device or font");
        return;
    }
    for (auto _ : state) {
        DrawFrameText(text.font);
    }
}
BENCHMARK(BM_InterfaceTextFrame)->Unit(benchmark::kMicrosecond);

} // namespace
