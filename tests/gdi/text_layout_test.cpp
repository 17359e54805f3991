// DrawText layout of the D3DX font on a font of fixed metrics: every printable glyph
// advances 5 pixels (space 3), ascent 7, descent 2, so every position is known exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfxutil/text_layout.h"

namespace {

constexpr int kAscent = 7;
constexpr int kLineHeight = 9;

fonts::GlyphSet FixedFont() {
    fonts::GlyphSet set;
    set.SetLineMetrics(kAscent, kLineHeight - kAscent);
    const std::uint8_t ink[3 * 7] = {255};
    for (int c = 33; c <= 126; ++c) {
        fonts::Glyph glyph;
        glyph.left = 1;
        glyph.top = 7;
        glyph.width = 3;
        glyph.rows = 7;
        glyph.advance = 5;
        set.SetGlyph(static_cast<unsigned char>(c), glyph, ink, 3);
    }
    fonts::Glyph space;
    space.advance = 3;
    set.SetGlyph(' ', space, nullptr, 0);
    return set;
}

// A laid-out line: its text, where its pen started and its baseline.
struct Line {
    std::string text;
    int left = 0;
    int baseline = 0;
};

using LineTexts = std::vector<std::string>;

struct Layout {
    std::vector<Line> lines;
    int height = 0;
};

Layout Lay(const char* text, RECT rect, DWORD format, int count = -1) {
    static const fonts::GlyphSet font = FixedFont();
    Layout layout;
    auto collect = [&](const gfxutil::PlacedGlyph& placed) {
        if (layout.lines.empty() || layout.lines.back().baseline != placed.baseline) {
            layout.lines.push_back({"", placed.penX, placed.baseline});
        }
        layout.lines.back().text += static_cast<char>(placed.c);
        if (placed.glyph->width > 0) {
            EXPECT_EQ(placed.x, placed.penX + 1);
            EXPECT_EQ(placed.y, placed.baseline - 7);
        }
    };
    layout.height = gfxutil::LayoutText(font, text, count, rect, format, collect);
    return layout;
}

LineTexts Texts(const Layout& layout) {
    LineTexts texts;
    for (const Line& line : layout.lines) {
        texts.push_back(line.text);
    }
    return texts;
}

} // namespace

TEST(TextLayout, AlignmentFlagsPlaceASingleLine) {
    const RECT rect = {10, 20, 110, 60}; // 100 x 40; "abc" is 15 wide, 9 high
    struct Case {
        DWORD format;
        int left;
        int top;
    };
    const Case cases[] = {
        {DT_LEFT, 10, 20},
        {DT_CENTER, 10 + (100 - 15) / 2, 20},
        {DT_RIGHT, 110 - 15, 20},
        {DT_VCENTER, 10, 20 + (40 - 9) / 2},
        {DT_BOTTOM, 10, 60 - 9},
        {DT_CENTER | DT_VCENTER | DT_SINGLELINE, 52, 35},
        {DT_RIGHT | DT_BOTTOM, 95, 51},
    };
    for (const Case& c : cases) {
        const Layout layout = Lay("abc", rect, c.format);
        ASSERT_EQ(layout.lines.size(), 1u) << c.format;
        EXPECT_EQ(layout.lines[0].left, c.left) << c.format;
        EXPECT_EQ(layout.lines[0].baseline, c.top + kAscent) << c.format;
        EXPECT_EQ(layout.height, kLineHeight) << c.format;
    }
}

TEST(TextLayout, LineBreaksOnNewlineAndCarriageReturnNewline) {
    const RECT rect = {0, 0, 200, 100};
    struct Case {
        const char* text;
        LineTexts lines;
        int height;
        DWORD format = DT_LEFT;
    };
    const Case cases[] = {
        {"ab\ncd\r\nef", {"ab", "cd", "ef"}, 3 * kLineHeight},
        {"a\rb", {"a", "b"}, 2 * kLineHeight},
        // A break at the very end starts no further line (the ring labels end in \r\n).
        {"-3\r\n", {"-3"}, kLineHeight},
        {"\n\nx", {"x"}, 3 * kLineHeight},
        {"a\n\nb", {"a", "b"}, 3 * kLineHeight},
        {"", {}, 0},
        {"ab\ncd", {"ab\ncd"}, kLineHeight, DT_SINGLELINE},
    };
    for (const Case& c : cases) {
        const Layout layout = Lay(c.text, rect, c.format);
        EXPECT_EQ(Texts(layout), c.lines) << c.text;
        EXPECT_EQ(layout.height, c.height) << c.text;
    }
    // Each line starts again at the left, one cell height lower.
    const Layout three = Lay("ab\ncd\r\nef", rect, DT_LEFT);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(three.lines[i].left, 0);
        EXPECT_EQ(three.lines[i].baseline, kAscent + i * kLineHeight);
    }
    // An empty line in between still takes its height; a count limits the text.
    EXPECT_EQ(Lay("a\n\nb", rect, DT_LEFT).lines[1].baseline, kAscent + 2 * kLineHeight);
    EXPECT_EQ(Texts(Lay("abcd", rect, DT_LEFT, 2)), LineTexts{"ab"});
}

TEST(TextLayout, WordBreakWrapsBetweenWords) {
    // "aaa" 15, space 3: "aaa bbb" is 33 wide.
    struct Case {
        const char* text;
        int width;
        LineTexts lines;
    };
    const Case cases[] = {
        {"aaa bbb ccc", 35, {"aaa bbb", "ccc"}},
        {"aaa bbb ccc", 33, {"aaa bbb", "ccc"}},
        {"aaa bbb ccc", 32, {"aaa", "bbb", "ccc"}},
        {"aaa   bbb", 20, {"aaa", "bbb"}},
        // A word wider than the rectangle stays whole on its own line.
        {"aaaaaaaaaa b", 20, {"aaaaaaaaaa", "b"}},
        // Spaces at the start of a line after a break are kept.
        {"a\n  b c", 100, {"a", "  b c"}},
        {"aaa bbb\nccc ddd", 20, {"aaa", "bbb", "ccc", "ddd"}},
    };
    for (const Case& c : cases) {
        const Layout layout = Lay(c.text, {0, 0, c.width, 100}, DT_WORDBREAK);
        EXPECT_EQ(Texts(layout), c.lines) << c.text << " in " << c.width;
    }
    EXPECT_EQ(Lay("a\n  b", {0, 0, 100, 100}, DT_WORDBREAK).lines[1].left, 0);
    // Wrapped lines align by their own width.
    const Layout right = Lay("aaa bb", {0, 0, 20, 100}, DT_WORDBREAK | DT_RIGHT);
    EXPECT_EQ(right.lines[0].left, 20 - 15);
    EXPECT_EQ(right.lines[1].left, 20 - 10);
    // Without DT_WORDBREAK nothing wraps.
    EXPECT_EQ(Texts(Lay("aaa bbb ccc", {0, 0, 20, 100}, DT_LEFT)), LineTexts{"aaa bbb ccc"});
}

TEST(TextLayout, ZeroSizeRectanglePlacesTheBlockAboutItsPoint) {
    const RECT point = {100, 200, 100, 200};
    // The seek tree's labels: centred both ways on the point.
    const Layout label = Lay("-3", point, DT_CENTER | DT_VCENTER | DT_NOCLIP);
    ASSERT_EQ(label.lines.size(), 1u);
    EXPECT_EQ(label.lines[0].left, 100 - 5);
    EXPECT_EQ(label.lines[0].baseline, 200 - kLineHeight / 2 + kAscent);

    // The whole block moves, not only single lines.
    const Layout block = Lay("a\nbbb", point, DT_CENTER | DT_VCENTER | DT_NOCLIP);
    ASSERT_EQ(block.lines.size(), 2u);
    EXPECT_EQ(block.lines[0].baseline, 200 - kLineHeight + kAscent);
    EXPECT_EQ(block.lines[0].left, 100 - 2);
    EXPECT_EQ(block.lines[1].left, 100 - 7);

    const Layout bottom = Lay("a\nb", point, DT_RIGHT | DT_BOTTOM | DT_NOCLIP);
    EXPECT_EQ(bottom.lines[1].baseline, 200 - kLineHeight + kAscent);
    EXPECT_EQ(bottom.lines[0].baseline, 200 - 2 * kLineHeight + kAscent);
    EXPECT_EQ(bottom.lines[0].left, 95);
    EXPECT_EQ(bottom.height, 2 * kLineHeight);
}
