// The information panel's texts in the seek's states, captured from the interface font.
#include <string>

#include "seek/seek.h"
#include "ui_fixture.h"

namespace {

using uitest::TextCall;
using uitest::UiTest;

class InfoPanel : public UiTest {
protected:
    const TextCall* Find(D3DCOLOR colour, DWORD format) const {
        for (const TextCall& c : font.calls) {
            if (c.colour == colour && c.format == format) {
                return &c;
            }
        }
        return nullptr;
    }
    std::string ValueColumn() const {
        const TextCall* c = Find(0xFF00FFFF, DT_NOCLIP);
        return c != nullptr ? c->text : "<none>";
    }
    std::string Caption() const {
        for (const TextCall& c : font.calls) {
            if (c.text.rfind("MAIN VIEW\n", 0) == 0) {
                return c.text;
            }
        }
        return "<none>";
    }
    // Diagram label of ring i: the i-th call.
    const TextCall& DiagramLabel(std::size_t ring) const { return font.calls.at(ring); }
    // Tree label of row k (1..4), column c.
    const TextCall& TreeLabel(std::size_t row, std::size_t column) const {
        return font.calls.at(4 + (row - 1) * 8 + column);
    }
    void Draw() {
        font.calls.clear();
        DrawInfoPanel();
    }
};

TEST_F(InfoPanel, RightAfterStartUp) {
    Draw();
    EXPECT_EQ(font.begins, 1);
    EXPECT_EQ(font.ends, 1);
    // 48 texts of its own, then the thirteen control labels.
    ASSERT_EQ(font.calls.size(), 48u + 13u);
    EXPECT_EQ(font.calls[48].text, "SPIN DISC");
    EXPECT_EQ(font.calls.back().text, "SHOW BEST FOUND");
    EXPECT_EQ(app.textPass, 1);

    EXPECT_EQ(ValueColumn(), " 0 / 4096\n [0.0.0.0]\n\n NA\n NA\n NA\n\n 0\n");
    EXPECT_EQ(Caption(), "MAIN VIEW\n[ SHOWING CURRENT SEEK POSITION ]");
    EXPECT_EQ(Find(0xFF00FFFF, DT_NOCLIP)->rect.left, 707);
    EXPECT_EQ(TreeLabel(1, 5).text, "-3");
    EXPECT_EQ(TreeLabel(4, 7).rect.left, 558);
    EXPECT_EQ(TreeLabel(4, 7).rect.top, 750);
    EXPECT_EQ(font.calls[36].text, "TREE");
    EXPECT_EQ(font.calls[36].rect.left, 295);
    // The credits close the help area (605, 410)-(1023, 748).
    EXPECT_EQ(font.calls[47].rect.bottom, 748);
    EXPECT_EQ(font.calls[47].text.rfind("VORMIKA 1.0\n", 0), 0u);
}

TEST_F(InfoPanel, CompletedDeepSeekShownAtItsBest) {
    app.startRings = {2, 5, 0, 7};
    ResetSeek();
    StepSeek(4096);
    app.viewSelection = 3;
    app.fps = 60;
    Draw();
    EXPECT_EQ(ValueColumn(),
              " 4096 / 4096\n [0.-1.2.-3]\n\n [0.-1.2.-3]\n 6\n 469 steps\n\n 60\n");
    EXPECT_EQ(Caption(), "MAIN VIEW\n[ SHOWING BEST FOUND POSITION ]");
    struct Label {
        const char* text;
        LONG y;
        D3DCOLOR colour;
    };
    const Label labels[] = {{"-3\r\n", 72, 0xFFFF2222},
                            {"2\r\n", 50, 0xFF22FF22},
                            {"-1\r\n", 28, 0xFFFF2222},
                            {"0\r\n", 6, 0xFFFFFF22}};
    for (std::size_t ring = 0; ring < 4; ++ring) {
        EXPECT_EQ(DiagramLabel(ring).text, labels[ring].text);
        EXPECT_EQ(DiagramLabel(ring).rect.top, labels[ring].y);
        EXPECT_EQ(DiagramLabel(ring).colour, labels[ring].colour);
    }
    // The vector evaluated last was 0xFFF: column 7 (-1) is lit in every row.
    for (std::size_t row = 1; row <= 4; ++row) {
        for (std::size_t column = 0; column < 8; ++column) {
            EXPECT_EQ(TreeLabel(row, column).colour, column == 7 ? 0xFFFFFFFFu : 0xFF88AA00u);
        }
    }
}

TEST_F(InfoPanel, StartViewShowsNoTurns) {
    app.startRings = {2, 5, 0, 7};
    ResetSeek();
    StepSeek(4096);
    app.viewSelection = 1;
    Draw();
    EXPECT_EQ(ValueColumn().substr(0, 25), " 4096 / 4096\n [0.0.0.0]\n\n");
    for (std::size_t ring = 0; ring < 4; ++ring) {
        EXPECT_EQ(DiagramLabel(ring).text, "0\r\n");
        EXPECT_EQ(DiagramLabel(ring).colour, 0xFFFFFF22u);
    }
    EXPECT_EQ(Caption(), "MAIN VIEW\n[ SHOWING START POSITION ]");

    app.viewSelection = 9;
    Draw();
    EXPECT_EQ(Caption(), "MAIN VIEW\n");
}

TEST_F(InfoPanel, NothingSolvedShowsNotAvailable) {
    app.startRings = {0, 3, 3, 5};
    app.seekMethod = AStar;
    ResetSeek();
    StepSeek(4096);
    ASSERT_EQ(app.bestCost, 254);
    Draw();
    const std::string values = ValueColumn();
    EXPECT_NE(values.find("\n\n NA\n NA\n NA\n\n"), std::string::npos) << values;
}

TEST_F(InfoPanel, NoFontDrawsNothing) {
    app.uiFont = nullptr;
    DrawInfoPanel();
    EXPECT_EQ(font.begins, 0);
    EXPECT_TRUE(font.calls.empty());
}

} // namespace
