// The six strings and the selection marker, read back from the display surface with
// real playback on SDL's dummy audio driver. Each pass is predicted by replaying the
// C library's rand() from the same seed: three values modulo 256 per colour, and the
// shake offset, modulo 32, taken before the displaced column's colour.
#include <cstdlib>
#include <set>

#include "app/tuner.h"
#include "app/tuner_state.h"
#include "audio/tones.h"
#include "gfx/draw.h"
#include "support/screen_pixels.h"

// Counts how often the playing state is asked; linked in with --wrap=Mix_PlayingMusic.
static int playing_asked;
extern "C" int __real_Mix_PlayingMusic(void);
extern "C" int __wrap_Mix_PlayingMusic(void)
{
    ++playing_asked;
    return __real_Mix_PlayingMusic();
}

namespace {

const Uint16 untouched = rgb565(16, 32, 48);

int column_of(int s)
{
    return 6 - s;
}

Picture pass_from_seed(unsigned seed)
{
    paint(screen, untouched);
    std::srand(seed);
    draw_strings();
    return snapshot(screen);
}

class Strings : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(start_up(), 0) << SDL_GetError();
        ASSERT_TRUE(is_565(screen));
    }
    static void TearDownTestSuite() { shut_down(); }
    void TearDown() override
    {
        Mix_HaltMusic();
        strselect = 1;
    }
};

TEST_F(Strings, AtRestSixColumnsAndTheMarkerOnTheSelectedOne)
{
    Mix_HaltMusic();
    for (int s = 1; s <= 6; s++) {
        strselect = Uint8(s);
        Picture shown = pass_from_seed(100 + s);
        std::srand(100 + s);
        EXPECT_TRUE(same_picture(strings_pass(Picture(pic_w * pic_h, untouched), s, false), shown))
            << "string " << s;

        // Row 100 shows six runs, at the rest positions with widths 9 down to 4.
        std::vector<std::pair<int, int>> runs;
        for (int x = 0; x < pic_w; x++) {
            if (at(shown, x, 100) == untouched)
                continue;
            if (!runs.empty() && runs.back().first + runs.back().second == x)
                runs.back().second++;
            else
                runs.emplace_back(x, 1);
        }
        ASSERT_EQ(runs.size(), 6u) << "string " << s;
        for (int i = 0; i < 6; i++) {
            EXPECT_EQ(runs[i].first, 60 + 40 * i);
            EXPECT_EQ(runs[i].second, 9 - i);
        }

        // The white 16 x 12 marker, covering the column, and nothing white around it.
        for (int y = 208; y < 220; y++)
            for (int x = marker_x[s]; x < marker_x[s] + 16; x++)
                ASSERT_EQ(at(shown, x, y), white565) << "string " << s << " at " << x << "," << y;
        int col = column_of(s);
        for (int x = string_rest_x[col]; x < string_rest_x[col] + string_width[col]; x++) {
            EXPECT_NE(at(shown, x, 207), white565);
            EXPECT_NE(at(shown, x, 220), white565);
        }
        for (int y = 208; y < 220; y++) {
            EXPECT_EQ(at(shown, marker_x[s] - 1, y), untouched);
            EXPECT_EQ(at(shown, marker_x[s] + 16, y), untouched);
        }
    }
}

TEST_F(Strings, PlayingStringShakesAroundItsRestPosition)
{
    for (int s = 1; s <= 6; s++) {
        strselect = Uint8(s);
        play_string();
        ASSERT_TRUE(Mix_PlayingMusic()) << "string " << s;
        int col = column_of(s), rest = string_rest_x[col], w = string_width[col];
        std::set<int> offsets;
        for (unsigned pass = 0; pass < 300; pass++) {
            unsigned seed = 1000 * s + pass;
            Picture shown = pass_from_seed(seed);
            std::srand(seed);
            int shake = -1;
            ASSERT_TRUE(same_picture(strings_pass(Picture(pic_w * pic_h, untouched), s, true, &shake), shown))
                << "string " << s << ", pass " << pass;

            // Read the displaced column off row 0, near its rest position.
            int start = -1, end = -1;
            for (int x = rest - 20; x < rest + 30; x++) {
                if (at(shown, x, 0) != untouched) {
                    if (start < 0)
                        start = x;
                    end = x + 1;
                }
            }
            ASSERT_GE(start, rest - 16) << "string " << s << ", pass " << pass;
            ASSERT_LE(start, rest + 15) << "string " << s << ", pass " << pass;
            ASSERT_EQ(end - start, w) << "string " << s << ", pass " << pass;
            EXPECT_EQ(start - rest, shake - 16);
            offsets.insert(start - rest + 16);

            // Nothing at rest but what the displaced column happens to cover.
            for (int x = rest; x < rest + w; x++) {
                if (x < start || x >= end) {
                    ASSERT_EQ(at(shown, x, 0), untouched) << "string " << s << ", x " << x;
                }
            }
        }
        EXPECT_EQ(offsets.size(), 32u) << "string " << s;
        EXPECT_EQ(*offsets.begin(), 0);
        EXPECT_EQ(*offsets.rbegin(), 31);
        Mix_HaltMusic();
    }
}

TEST_F(Strings, ColoursChangeFromPassToPass)
{
    for (bool playing : {false, true}) {
        strselect = 3;
        if (playing)
            play_string();
        else
            Mix_HaltMusic();
        ASSERT_EQ(bool(Mix_PlayingMusic()), playing);

        paint(screen, untouched);
        std::srand(77);
        draw_strings();
        Picture first = snapshot(screen);
        paint(screen, untouched);
        draw_strings();
        Picture second = snapshot(screen);

        std::srand(77);
        Picture base(pic_w * pic_h, untouched);
        EXPECT_TRUE(same_picture(strings_pass(base, 3, playing), first));
        EXPECT_TRUE(same_picture(strings_pass(base, 3, playing), second));
        for (int i = 0; i < 6; i++) {
            if (!(playing && i == column_of(3))) {
                EXPECT_NE(at(first, string_rest_x[i], 0), at(second, string_rest_x[i], 0)) << "column " << i;
            }
        }
    }
}

TEST_F(Strings, PlayingStateAskedForEveryColumnAndOnceMore)
{
    strselect = 2;
    for (bool playing : {false, true}) {
        if (playing)
            play_string();
        else
            Mix_HaltMusic();
        playing_asked = 0;
        draw_strings();
        EXPECT_EQ(playing_asked, 7) << (playing ? "playing" : "halted");
    }
}

// Left halts the music, so in that very pass the marker moves and nothing shakes.
TEST_F(Strings, ChangingStringStopsTheShakeInTheSamePass)
{
    strselect = 1;
    play_string();
    ASSERT_TRUE(Mix_PlayingMusic());
    Uint8 *keys = SDL_GetKeyState(nullptr);
    pushing = 0;
    keys[SDLK_LEFT] = 1;
    keys_handler();
    keys[SDLK_LEFT] = 0;
    ASSERT_EQ(strselect, 2);
    Picture shown = pass_from_seed(5);
    std::srand(5);
    EXPECT_TRUE(same_picture(strings_pass(Picture(pic_w * pic_h, untouched), 2, false), shown));
    keys_handler();
    EXPECT_EQ(pushing, 0);
}

} // namespace
