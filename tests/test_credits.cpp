// The credits screen: its four lines read back from the display surface, its countdown
// counted poll by poll, and the key latch it leaves behind, driven through SDL's key
// state array. Polls are counted through SDL_Delay (linked with --wrap=SDL_Delay), which
// still sleeps for real; only one test waits the whole 241 polls. Flips are caught the
// same way (--wrap=SDL_Flip), since the dummy video driver shows nothing.
#include <algorithm>
#include <string>
#include <vector>

#include "app/tuner.h"
#include "app/tuner_state.h"
#include "gfx/draw.h"
#include "support/screen_pixels.h"

static std::vector<Uint32> delays;
static unsigned press_return_at; // poll during whose sleep Return goes down; 0 for never
extern "C" void __real_SDL_Delay(Uint32 ms);
extern "C" void __wrap_SDL_Delay(Uint32 ms)
{
    delays.push_back(ms);
    if (press_return_at && delays.size() == press_return_at)
        SDL_GetKeyState(nullptr)[SDLK_RETURN] = 1;
    __real_SDL_Delay(ms);
}

struct Flip {
    std::size_t polls_before;
    Picture shown;
};
static std::vector<Flip> flips;
extern "C" int __real_SDL_Flip(SDL_Surface *s);
extern "C" int __wrap_SDL_Flip(SDL_Surface *s)
{
    flips.push_back({delays.size(), snapshot(s)});
    return __real_SDL_Flip(s);
}

namespace {

const char title[] = ".-=[ Vessandrel Guitar Tuner ]=-.";
const char version[] = "             V. 1.0";
const char author[] = "  (c) 2026, the Vessandrel team";
const char web[] = "  https://example.org/vessandrel";

Uint8 *keys;

void release_all()
{
    for (int k = 0; k < SDLK_LAST; k++)
        keys[k] = 0;
}

class Credits : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(start_up(), 0) << SDL_GetError();
        ASSERT_TRUE(is_565(screen));
        keys = SDL_GetKeyState(nullptr);
    }
    static void TearDownTestSuite() { shut_down(); }
    void SetUp() override
    {
        release_all();
        delays.clear();
        flips.clear();
        press_return_at = 0;
        pushing = 0;
    }
    void TearDown() override
    {
        release_all();
        Mix_HaltMusic();
    }
};

// Runs first, on the display exactly as start-up leaves it.
TEST_F(Credits, ReturnHeldEndsAfterTheFirstPollWithTheLinesDrawn)
{
    ASSERT_TRUE(same_picture(Picture(pic_w * pic_h, black565), snapshot(screen)))
        << "start-up should leave the display black";
    keys[SDLK_RETURN] = 1;
    credits_screen(28, 88);

    EXPECT_EQ(delays, std::vector<Uint32>{20});
    EXPECT_EQ(show_credits_screen, 239);
    EXPECT_EQ(pushing, 1);

    Picture expected(pic_w * pic_h, black565);
    draw_glyphs(expected, glyph_pixels(28, 88, title), rgb565(191, 255, 255));
    draw_glyphs(expected, glyph_pixels(28, 104, version), rgb565(127, 159, 159));
    draw_glyphs(expected, glyph_pixels(28, 134, author), rgb565(191, 191, 191));
    draw_glyphs(expected, glyph_pixels(24, 144, web), rgb565(127, 127, 127));
    Picture shown = snapshot(screen);
    EXPECT_TRUE(same_picture(expected, shown));

    // One flip, before the first poll, showing the finished picture.
    ASSERT_EQ(flips.size(), 1u);
    EXPECT_EQ(flips[0].polls_before, 0u);
    EXPECT_TRUE(same_picture(expected, flips[0].shown));

    // The title spans x 28 to 291, centred; lines 3 and 4 open with two blank cells.
    int left = pic_w, right = -1;
    for (int y = 88; y < 96; y++)
        for (int x = 0; x < pic_w; x++)
            if (at(shown, x, y) != black565)
                left = std::min(left, x), right = std::max(right, x);
    EXPECT_GE(left, 28);
    EXPECT_LE(right, 291);
    EXPECT_LT(left, 36);
    EXPECT_GT(right, 283);
    for (int y = 134; y < 152; y++)
        for (int x = 0; x < 40; x++)
            ASSERT_EQ(at(shown, x, y), black565) << x << "," << y;
}

// Nothing is cleared first: the lines land on whatever the display holds. SDL_gfx
// blends even at alpha 255, so the reference is SDL_gfx writing on a copy of it.
TEST_F(Credits, LinesAreDrawnOverTheDisplayWithoutClearingIt)
{
    Picture busy = stripes();
    restore(screen, busy);
    keys[SDLK_RETURN] = 1;
    credits_screen(28, 88);

    SDL_Surface *copy = SDL_CreateRGBSurface(SDL_SWSURFACE, pic_w, pic_h, 16, 0xF800, 0x07E0, 0x001F, 0);
    ASSERT_NE(copy, nullptr);
    restore(copy, busy);
    stringRGBA(copy, 28, 88, title, 191, 255, 255, 255);
    stringRGBA(copy, 28, 104, version, 127, 159, 159, 255);
    stringRGBA(copy, 28, 134, author, 191, 191, 191, 255);
    stringRGBA(copy, 24, 144, web, 127, 127, 127, 255);
    Picture expected = snapshot(copy);
    SDL_FreeSurface(copy);
    EXPECT_TRUE(same_picture(expected, snapshot(screen)));

    // Away from the glyphs the display is exactly as it was.
    Picture untouched = busy;
    draw_glyphs(untouched, glyph_pixels(28, 88, title), 0);
    draw_glyphs(untouched, glyph_pixels(28, 104, version), 0);
    draw_glyphs(untouched, glyph_pixels(28, 134, author), 0);
    draw_glyphs(untouched, glyph_pixels(24, 144, web), 0);
    Picture shown = snapshot(screen);
    int kept = 0;
    for (int i = 0; i < pic_w * pic_h; i++)
        kept += untouched[i] == busy[i] && shown[i] == busy[i];
    int off_glyph = 0;
    for (int i = 0; i < pic_w * pic_h; i++)
        off_glyph += untouched[i] == busy[i];
    EXPECT_EQ(kept, off_glyph);
}

TEST_F(Credits, OffsetsFollowTheOrigin)
{
    paint(screen, black565);
    keys[SDLK_RETURN] = 1;
    credits_screen(10, 20);
    Picture expected(pic_w * pic_h, black565);
    draw_glyphs(expected, glyph_pixels(10, 20, title), rgb565(191, 255, 255));
    draw_glyphs(expected, glyph_pixels(10, 36, version), rgb565(127, 159, 159));
    draw_glyphs(expected, glyph_pixels(10, 66, author), rgb565(191, 191, 191));
    draw_glyphs(expected, glyph_pixels(6, 76, web), rgb565(127, 127, 127));
    EXPECT_TRUE(same_picture(expected, snapshot(screen)));
}

// Return is read in every poll: pressed during the fifth sleep, it ends that poll.
TEST_F(Credits, ReturnPressedLaterEndsThatPoll)
{
    press_return_at = 5;
    credits_screen(28, 88);
    EXPECT_EQ(delays, std::vector<Uint32>(5, 20));
    EXPECT_EQ(show_credits_screen, 235);
    EXPECT_EQ(pushing, 1);
}

// The countdown starts at 240 and is tested before the key: it runs 241 polls of 20 ms,
// the last of which finds 0 and leaves the 16-bit counter wrapped to 65535.
TEST_F(Credits, WithoutKeysTheCountdownPolls241Times)
{
    credits_screen(28, 88);
    EXPECT_EQ(delays.size(), 241u);
    EXPECT_EQ(delays, std::vector<Uint32>(241, 20));
    EXPECT_EQ(flips.size(), 1u);
    EXPECT_EQ(show_credits_screen, 65535);
    EXPECT_EQ(pushing, 1);
}

// A key held through the credits acts only after it has been released and pressed again.
TEST_F(Credits, KeyHeldThroughTheCreditsActsOnlyAfterRelease)
{
    Sint16 volume_before = volume;
    Uint8 string_before = strselect;
    keys[SDLK_RETURN] = 1;
    keys[SDLK_LCTRL] = 1;
    keys[SDLK_UP] = 1;
    credits_screen(28, 88);
    ASSERT_EQ(pushing, 1);

    for (int pass = 0; pass < 5; pass++) {
        keys_handler();
        EXPECT_FALSE(Mix_PlayingMusic()) << "pass " << pass;
        EXPECT_EQ(volume, volume_before);
        EXPECT_EQ(show_volume_bar, 0);
        EXPECT_EQ(pushing, 1);
    }

    keys[SDLK_LCTRL] = 0;
    keys[SDLK_UP] = 0;
    keys_handler();
    EXPECT_EQ(pushing, 0);
    EXPECT_FALSE(Mix_PlayingMusic());

    keys[SDLK_LCTRL] = 1;
    keys_handler();
    EXPECT_TRUE(Mix_PlayingMusic());
    EXPECT_EQ(pushing, 1);
    EXPECT_EQ(strselect, string_before);
    EXPECT_EQ(volume, volume_before);
}

} // namespace
