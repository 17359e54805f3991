// D3DX font stand-in: ID3DXFont over a copy of a GDI font's pre-rendered glyphs; drawing
// hands each glyph's coverage mask to the device.
#include "gfxutil/text_layout.h"
#include "platform/d3d8_ext.h"
#include "platform/gdi_objects.h"

namespace {

class Font final : public ID3DXFont {
public:
    // The device is not AddRef'd: the program releases the device at shutdown and never
    // the font, so a reference held here would keep the device alive past its release.
    Font(IDirect3DDevice8* device, const fonts::GlyphSet& glyphs)
        : device_(device), glyphs_(glyphs) {}

    ULONG AddRef() override { return ++references_; }

    ULONG Release() override {
        if (references_ == 0) {
            return 0;
        }
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT Begin() override { return S_OK; }
    HRESULT End() override { return S_OK; }

    INT DrawTextA(LPCSTR text, INT count, RECT* rect, DWORD format, D3DCOLOR colour) override {
        if (text == nullptr || rect == nullptr) {
            return 0;
        }
        if ((format & DT_CALCRECT) != 0) {
            return MeasureInto(text, count, *rect, format);
        }
        const RECT clip = *rect;
        const RECT* clipTo = (format & DT_NOCLIP) != 0 ? nullptr : &clip;
        return gfxutil::LayoutText(
            glyphs_, text, count, *rect, format, [&](const gfxutil::PlacedGlyph& placed) {
                const fonts::Glyph& glyph = *placed.glyph;
                if (glyph.width > 0) {
                    d3d8ext::BlendCoverage(device_, placed.x, placed.y, glyph.width, glyph.rows,
                                           glyphs_.Mask(glyph), glyph.width, colour, clipTo);
                }
            });
    }

private:
    // DT_CALCRECT: the rectangle grows or shrinks to the text, nothing is drawn.
    INT MeasureInto(LPCSTR text, INT count, RECT& rect, DWORD format) const {
        const int length = gfxutil::TextLength(text, count);
        const gfxutil::TextExtent extent =
            gfxutil::MeasureText(glyphs_, text, length, rect.right - rect.left, format);
        const int height = extent.lines * glyphs_.Height();
        rect.right = rect.left + extent.width;
        rect.bottom = rect.top + height;
        return height;
    }

    IDirect3DDevice8* device_;
    fonts::GlyphSet glyphs_;
    ULONG references_ = 1;
};

} // namespace

HRESULT D3DXCreateFont(IDirect3DDevice8* device, HFONT font, ID3DXFont** out) {
    if (out == nullptr) {
        return E_INVALIDARG;
    }
    *out = nullptr;
    gdi::Object* gdiFont = gdi::FindObject(font, gdi::ObjectKind::Font);
    if (device == nullptr || gdiFont == nullptr) {
        return E_FAIL;
    }
    *out = new Font(device, gdi::GlyphsOf(*gdiFont));
    return S_OK;
}
