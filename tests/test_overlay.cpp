// The volume overlay, read back from the display surface. The number's glyphs are
// taken from SDL_gfx drawing the expected text on a blank surface of the test's own;
// where they land, and everything else, is checked against hand-made pictures.
#include <string>

#include "app/tuner_state.h"
#include "gfx/draw.h"
#include "support/screen_pixels.h"

namespace {

const Uint16 untouched = rgb565(40, 80, 120);

class Overlay : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        screen = SDL_SetVideoMode(320, 240, 16, SDL_SWSURFACE);
        ASSERT_TRUE(is_565(screen));
    }
    static void TearDownTestSuite() { SDL_Quit(); }
    void TearDown() override { volume = 64; }
};

struct Case {
    int volume;
    const char *text;
    int text_x;
    int segments;
    int top_y; // of the highest segment; unused without segments
};

// The edge cases: the number, where it starts, how many segments and how high.
const Case cases[] = {
    {0, "0", 11, 0, 0},
    {36, "9", 11, 9, 155},
    {40, "10", 3, 10, 150},
    {64, "16", 3, 16, 120},
    {128, "32", 3, 32, 40},
};

TEST_F(Overlay, EdgeCasesDrawExactlyTheOverlay)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.volume);
        volume = Sint16(c.volume);
        show_volume_bar = 123;
        def_rect(&src_rect, 1, 2, 3, 4);
        paint(screen, untouched);
        draw_volume_bar();
        Picture shown = snapshot(screen);

        EXPECT_STREQ(valor, c.text);
        EXPECT_TRUE(same_picture(with_overlay(Picture(pic_w * pic_h, untouched), c.text, c.text_x,
                                              c.segments, c.top_y),
                                 shown));
        // Neither the countdown nor the shared scratch rectangle is the overlay's to touch.
        EXPECT_EQ(show_volume_bar, 123);
        EXPECT_EQ(src_rect.x, 1);
        EXPECT_EQ(src_rect.y, 2);
        EXPECT_EQ(src_rect.w, 3);
        EXPECT_EQ(src_rect.h, 4);

        // The number's pixels lie in its 8 x 8 cells, which end at x 18, left of the bar.
        auto glyphs = glyph_pixels(c.text_x, 117, c.text);
        ASSERT_FALSE(glyphs.empty());
        for (auto [x, y] : glyphs)
            EXPECT_EQ(at(shown, x, y), white565) << x << "," << y;
        for (int y = 0; y < pic_h; y++) {
            for (int x = 0; x < 22; x++) {
                bool in_cells = x >= c.text_x && x <= 18 && y >= 117 && y < 125;
                if (!in_cells) {
                    EXPECT_EQ(at(shown, x, y), untouched) << x << "," << y;
                }
            }
        }

        // Count the fill up the middle of the bar: white rows from 199 upwards, then a gap.
        int rows = 0;
        while (at(shown, 32, 199 - rows) == white565 && 199 - rows > 38)
            rows++;
        EXPECT_EQ(rows, 5 * c.segments);
        if (c.segments) {
            EXPECT_EQ(200 - rows, c.top_y);
        }
        EXPECT_EQ(at(shown, 32, 200), untouched);
        EXPECT_EQ(at(shown, 32, 39), untouched);
        for (int y = 38; y <= 201; y++) {
            EXPECT_EQ(at(shown, 23, y), y == 38 || y == 201 ? white565 : untouched) << y;
            EXPECT_EQ(at(shown, 40, y), y == 38 || y == 201 ? white565 : untouched) << y;
        }
    }
}

// Every level the keys can reach: volume / 4 as the number, one segment per 4.
TEST_F(Overlay, EveryReachableLevel)
{
    for (int v = 0; v <= 128; v += 4) {
        SCOPED_TRACE(v);
        volume = Sint16(v);
        paint(screen, untouched);
        draw_volume_bar();
        std::string text = std::to_string(v / 4);
        EXPECT_EQ(std::string(valor), text);
        EXPECT_TRUE(same_picture(with_overlay(Picture(pic_w * pic_h, untouched), text,
                                              v < 40 ? 11 : 3, v / 4, 195 - 5 * (v / 4 - 1)),
                                 snapshot(screen)));
    }
}

// The keys keep the volume a multiple of 4, but the number is a plain integer division
// and the fill rounds up: 39 shows "9" at x 11 over 10 segments.
TEST_F(Overlay, NumberRoundsDownAndFillRoundsUp)
{
    volume = 39;
    paint(screen, untouched);
    draw_volume_bar();
    EXPECT_STREQ(valor, "9");
    EXPECT_TRUE(same_picture(with_overlay(Picture(pic_w * pic_h, untouched), "9", 11, 10, 150),
                             snapshot(screen)));
}

// Only the glyphs' pixels are drawn: the number leaves what is behind it alone.
TEST_F(Overlay, TextLeavesThePictureBehindItAlone)
{
    volume = 64;
    Picture busy = stripes();
    restore(screen, busy);
    draw_volume_bar();
    EXPECT_TRUE(same_picture(with_overlay(busy, "16", 3, 16, 120), snapshot(screen)));
}

} // namespace
