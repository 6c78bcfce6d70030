// The drawing order of one pass of the main loop. With SDL's dummy video driver a flip
// shows nothing anywhere, so this program links with --wrap=SDL_Flip and keeps a copy
// of the display at every flip: that copy is exactly what the player would have seen.
#include <cstdlib>
#include <string>
#include <vector>

#include "app/tuner.h"
#include "app/tuner_state.h"
#include "gfx/draw.h"
#include "support/screen_pixels.h"

static std::vector<Picture> flipped;
extern "C" int __real_SDL_Flip(SDL_Surface *s);
extern "C" int __wrap_SDL_Flip(SDL_Surface *s)
{
    flipped.push_back(snapshot(s));
    return __real_SDL_Flip(s);
}

namespace {

Uint8 *keys;
Picture credits_picture;

void release_all()
{
    for (int k = 0; k < SDLK_LAST; k++)
        keys[k] = 0;
}

bool outline_shown(const Picture &p)
{
    for (int x = 22; x < 42; x++)
        if (at(p, x, 38) != white565 || at(p, x, 201) != white565)
            return false;
    for (int y = 38; y < 201; y++)
        if (at(p, 22, y) != white565 || at(p, 41, y) != white565)
            return false;
    return true;
}

// What one pass leaves on the display: the field one row further down, then the strings.
Picture composed(const Picture &field_before, unsigned seed)
{
    std::srand(seed);
    return strings_pass(rolled(field_before, 1), strselect, false);
}

class Frame : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(start_up(), 0) << SDL_GetError();
        ASSERT_TRUE(is_565(screen));
        keys = SDL_GetKeyState(nullptr);
        release_all();
        keys[SDLK_RETURN] = 1;
        credits_screen(28, 88);
        release_all();
        credits_picture = snapshot(screen);
    }
    static void TearDownTestSuite() { shut_down(); }
    void SetUp() override { flipped.clear(); }
    void TearDown() override { release_all(); }
};

// Runs first: the main loop composes its first picture only after its first flip.
TEST_F(Frame, FirstFlipShowsTheCreditsOnceMore)
{
    ASSERT_FALSE(Mix_PlayingMusic());
    Picture field = snapshot(background);
    std::srand(3);
    run_pass();
    ASSERT_EQ(flipped.size(), 1u);
    EXPECT_TRUE(same_picture(credits_picture, flipped[0]));
    EXPECT_TRUE(same_picture(composed(field, 3), snapshot(screen)));
    EXPECT_TRUE(same_picture(rolled(field, 1), snapshot(background)));
    EXPECT_EQ(pushing, 0);
}

TEST_F(Frame, TabPassStillFlipsAndRedrawsBeforeTheLoopEnds)
{
    Picture before = snapshot(screen);
    Picture field = snapshot(background);
    pushing = 0;
    keys[SDLK_TAB] = 1;
    std::srand(21);
    run_pass();
    EXPECT_EQ(salir, 1);
    ASSERT_EQ(flipped.size(), 1u);
    EXPECT_TRUE(same_picture(before, flipped[0]));
    EXPECT_TRUE(same_picture(composed(field, 21), snapshot(screen)));
    EXPECT_TRUE(same_picture(rolled(field, 1), snapshot(background)));
    salir = 0;
    keys[SDLK_TAB] = 0;
    run_pass();
    EXPECT_EQ(pushing, 0);
}

// Runs `passes` passes with the given keys held in the given passes, and checks each
// flip: the previous pass's picture, with the overlay over it exactly when `shows`.
struct Press {
    int pass;
    SDLKey key;
};

std::vector<bool> run_and_watch(int passes, const std::vector<Press> &presses)
{
    std::vector<bool> shown;
    Picture field = snapshot(background);
    Picture previous = snapshot(screen);
    for (int n = 0; n < passes; n++) {
        release_all();
        for (const Press &p : presses)
            if (p.pass == n)
                keys[p.key] = 1;
        flipped.clear();
        unsigned seed = 500 + n;
        std::srand(seed);
        run_pass();
        EXPECT_EQ(flipped.size(), 1u);
        if (flipped.size() != 1)
            return shown;
        bool on = outline_shown(flipped[0]);
        shown.push_back(on);
        Picture expected = previous;
        if (on) {
            std::string text = std::to_string(volume / 4);
            expected = with_overlay(previous, text, volume < 40 ? 11 : 3, volume / 4,
                                    195 - 5 * (volume / 4 - 1));
        }
        EXPECT_TRUE(same_picture(expected, flipped[0])) << "pass " << n;
        previous = composed(field, seed);
        EXPECT_TRUE(same_picture(previous, snapshot(screen))) << "pass " << n;
        field = rolled(field, 1);
        EXPECT_TRUE(same_picture(field, snapshot(background))) << "pass " << n;
    }
    release_all();
    return shown;
}

std::vector<bool> expected_shown(int passes, int from, int to)
{
    std::vector<bool> v(passes, false);
    for (int n = from; n < to && n < passes; n++)
        v[n] = true;
    return v;
}

TEST_F(Frame, OverlayShowsIn240PassesAfterUp)
{
    volume = 64;
    std::vector<bool> shown = run_and_watch(300, {{0, SDLK_UP}});
    EXPECT_EQ(volume, 68);
    EXPECT_EQ(shown, expected_shown(300, 0, 240));
    EXPECT_EQ(show_volume_bar, 0);
}

// A second press restarts the count: 240 passes from the last Up or Down.
TEST_F(Frame, OverlayShowsIn240PassesAfterTheLastPress)
{
    volume = 64;
    std::vector<bool> shown = run_and_watch(400, {{0, SDLK_UP}, {100, SDLK_DOWN}});
    EXPECT_EQ(volume, 64);
    EXPECT_EQ(shown, expected_shown(400, 0, 340));
    EXPECT_EQ(show_volume_bar, 0);
}

// Up held on and on is one press: the overlay still ends 240 passes after it acted.
TEST_F(Frame, HoldingUpDoesNotProlongTheOverlay)
{
    volume = 64;
    std::vector<Press> held;
    for (int n = 0; n < 60; n++)
        held.push_back({n, SDLK_UP});
    std::vector<bool> shown = run_and_watch(300, held);
    EXPECT_EQ(volume, 68);
    EXPECT_EQ(shown, expected_shown(300, 0, 240));
}

} // namespace
