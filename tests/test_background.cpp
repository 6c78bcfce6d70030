// The rectangle helper, the black clear and the scrolling noise field, read back from
// the real surfaces. This program starts the tuner exactly as main does, in a fresh
// process, so the field it builds comes from the C library's unseeded generator.
#include <algorithm>
#include <cstdlib>

#include "app/tuner.h"
#include "app/tuner_state.h"
#include "gfx/draw.h"
#include "support/screen_pixels.h"

namespace {

Picture built_field; // the background exactly as start-up left it

class Background : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(start_up(), 0) << SDL_GetError();
        ASSERT_NE(background, nullptr);
        built_field = snapshot(background);
    }
    static void TearDownTestSuite() { shut_down(); }
};

TEST_F(Background, SurfacesAreThe565Layout)
{
    EXPECT_TRUE(is_565(screen));
    EXPECT_TRUE(is_565(background));
}

// An unseeded generator behaves as if seeded with 1: replaying that sequence, three
// values modulo 143 per pixel, rows outer, columns inner, predicts every pixel.
TEST_F(Background, FieldIsTheUnseededSequenceModulo143)
{
    std::srand(1);
    Picture expected(pic_w * pic_h);
    for (int y = 0; y < pic_h; y++) {
        for (int x = 0; x < pic_w; x++) {
            int r = std::rand() % 143;
            int g = std::rand() % 143;
            int b = std::rand() % 143;
            expected[y * pic_w + x] = rgb565(r, g, b);
        }
    }
    EXPECT_TRUE(same_picture(expected, built_field));
}

// 142 packs to at most 17 in the 5-bit fields and 35 in the 6-bit one; a field of
// 76,800 pixels reaches those bounds and zero.
TEST_F(Background, NoChannelAbove142)
{
    int max_r = 0, max_g = 0, max_b = 0, min_r = 99, min_g = 99, min_b = 99;
    for (Uint16 v : built_field) {
        int r = v >> 11, g = (v >> 5) & 0x3F, b = v & 0x1F;
        max_r = std::max(max_r, r), min_r = std::min(min_r, r);
        max_g = std::max(max_g, g), min_g = std::min(min_g, g);
        max_b = std::max(max_b, b), min_b = std::min(min_b, b);
    }
    EXPECT_EQ(max_r, 17);
    EXPECT_EQ(max_g, 35);
    EXPECT_EQ(max_b, 17);
    EXPECT_EQ(min_r, 0);
    EXPECT_EQ(min_g, 0);
    EXPECT_EQ(min_b, 0);
}

TEST_F(Background, DefRectCutsTo16BitsAndReturnsTheRectangle)
{
    SDL_Rect r;
    EXPECT_EQ(def_rect(&r, 70000, -70000, 98309, -1), &r);
    EXPECT_EQ(r.x, 4464);
    EXPECT_EQ(r.y, -4464);
    EXPECT_EQ(r.w, 32773);
    EXPECT_EQ(r.h, 65535);
    def_rect(&r, 60, 0, 9, 240);
    EXPECT_EQ(r.x, 60);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.w, 9);
    EXPECT_EQ(r.h, 240);
}

TEST_F(Background, ClearScreenBlacksEveryPixel)
{
    restore(screen, stripes());
    clear_screen();
    EXPECT_TRUE(same_picture(Picture(pic_w * pic_h, black565), snapshot(screen)));
}

// The background surface is made with an alpha mask; every blit must still copy, and
// these exact comparisons over a bright, busy display would catch any blending.
TEST_F(Background, OneScrollCopiesTheFieldDownOneRowAndBack)
{
    Picture before = snapshot(background);
    restore(screen, stripes());
    scroll_background();
    Picture shown = snapshot(screen);
    for (int x = 0; x < pic_w; x++)
        ASSERT_EQ(at(shown, x, 0), at(before, x, 239)) << "row 0, x " << x;
    for (int y = 1; y < pic_h; y++)
        for (int x = 0; x < pic_w; x++)
            ASSERT_EQ(at(shown, x, y), at(before, x, y - 1)) << "row " << y << ", x " << x;
    EXPECT_TRUE(same_picture(shown, snapshot(background)));
}

// The display copied back must replace the field wholesale, whatever the field held.
TEST_F(Background, ScrollReplacesTheFieldWithTheDisplay)
{
    Picture field = snapshot(background);
    Picture noisy = stripes();
    restore(background, noisy);
    restore(screen, field);
    scroll_background();
    EXPECT_TRUE(same_picture(rolled(noisy, 1), snapshot(screen)));
    EXPECT_TRUE(same_picture(rolled(noisy, 1), snapshot(background)));
    restore(background, field);
}

TEST_F(Background, TwoHundredFortyScrollsComeFullCircle)
{
    Picture start = snapshot(background);
    for (int k = 1; k <= 240; k++) {
        restore(screen, stripes());
        scroll_background();
        Picture now = snapshot(background);
        ASSERT_TRUE(same_picture(rolled(start, k), now)) << "after " << k << " scrolls";
        if (k < 240) {
            ASSERT_FALSE(now == start) << "back early, after " << k << " scrolls";
        }
    }
    EXPECT_TRUE(same_picture(start, snapshot(background)));
    EXPECT_TRUE(same_picture(start, snapshot(screen)));
}

} // namespace
