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
        // The glyphs go to the device a batch at a time rather than one call each.
        d3d8ext::CoverageMask batch[kBatch];
        int pending = 0;
        const int height = gfxutil::LayoutText(
            glyphs_, text, count, *rect, format, [&](const gfxutil::PlacedGlyph& placed) {
                const fonts::Glyph& glyph = *placed.glyph;
                if (glyph.width > 0) {
                    batch[pending++] = {placed.x, placed.y, glyph.width, glyph.rows,
                                        glyphs_.Mask(glyph), glyph.width};
                    if (pending == kBatch) {
                        d3d8ext::BlendCoverages(device_, batch, pending, colour, clipTo);
                        pending = 0;
                    }
                }
            });
        if (pending > 0) d3d8ext::BlendCoverages(device_, batch, pending, colour, clipTo);
        return height;
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

    static constexpr int kBatch = 64;

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
