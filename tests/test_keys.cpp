// The key handler driven through SDL's real key-state array, with the real mixer
// holding the music volume.
#include "support/tuner_keys.h"

namespace {

const testing::Environment *const tuner = testing::AddGlobalTestEnvironment(new TunerRunning);

class Keys : public testing::Test {
protected:
    void SetUp() override { reset_tuner(); }
};

// Each key held for 200 passes, let go for one pass, then held again for 200.
TEST_F(Keys, HoldingAKeyActsOnceAndReleasingItLetsItActAgain)
{
    auto hold_twice = [](SDLKey k) {
        for (int round = 0; round < 2; round++) {
            for (int i = 0; i < 200; i++)
                pass({k});
            pass({});
        }
    };
    hold_twice(SDLK_LEFT);
    EXPECT_EQ(strselect, 3);
    hold_twice(SDLK_RIGHT);
    EXPECT_EQ(strselect, 1);
    hold_twice(SDLK_UP);
    EXPECT_EQ(volume, 72);
    EXPECT_EQ(Mix_VolumeMusic(-1), 72);
    hold_twice(SDLK_DOWN);
    EXPECT_EQ(volume, 64);
    EXPECT_EQ(Mix_VolumeMusic(-1), 64);
    hold_twice(SDLK_DOWN);
    EXPECT_EQ(volume, 56);
    EXPECT_EQ(Mix_VolumeMusic(-1), 56);
}

TEST_F(Keys, LeftClimbsToString6ThenWrapsTo1)
{
    for (int expected : {2, 3, 4, 5, 6, 1, 2}) {
        press(SDLK_LEFT);
        EXPECT_EQ(strselect, expected);
    }
}

TEST_F(Keys, RightWrapsFromString1To6ThenDescends)
{
    for (int expected : {6, 5, 4, 3, 2, 1, 6}) {
        press(SDLK_RIGHT);
        EXPECT_EQ(strselect, expected);
    }
}

TEST_F(Keys, UpAndDownHeldTogetherActAsUpOnceOnly)
{
    for (int i = 0; i < 50; i++)
        pass({SDLK_UP, SDLK_DOWN});
    EXPECT_EQ(volume, 68);
    EXPECT_EQ(Mix_VolumeMusic(-1), 68);
    EXPECT_EQ(show_volume_bar, 240);
}

// Starting the music also resumes a paused mixer, so a mixer paused beforehand shows
// whether a play was attempted even when a halt followed it in the same pass.
TEST_F(Keys, LeftWithLeftCtrlSelectsWithoutPlaying)
{
    Mix_PauseMusic();
    for (int i = 0; i < 50; i++)
        pass({SDLK_LEFT, SDLK_LCTRL});
    EXPECT_EQ(strselect, 2);
    EXPECT_FALSE(Mix_PlayingMusic());
    EXPECT_TRUE(Mix_PausedMusic());
    Mix_ResumeMusic();
}

TEST_F(Keys, TabHeldWithLeftCtrlQuitsInThePassLeftCtrlIsReleased)
{
    pass({SDLK_LCTRL});
    ASSERT_TRUE(Mix_PlayingMusic());
    for (int i = 0; i < 50; i++) {
        pass({SDLK_LCTRL, SDLK_TAB});
        ASSERT_EQ(salir, 0) << "pass " << i;
    }
    pass({SDLK_TAB});
    EXPECT_EQ(salir, 1);
}

TEST_F(Keys, EscapeHoldsTheLatchUntilItTooIsReleased)
{
    pass({SDLK_LCTRL});
    pass({SDLK_LCTRL, SDLK_ESCAPE});
    for (SDLKey k : {SDLK_LEFT, SDLK_RIGHT, SDLK_UP, SDLK_DOWN, SDLK_TAB, SDLK_LCTRL}) {
        pass({SDLK_ESCAPE});
        pass({SDLK_ESCAPE, k});
    }
    EXPECT_EQ(strselect, 1);
    EXPECT_EQ(volume, 64);
    EXPECT_EQ(show_volume_bar, 0);
    EXPECT_EQ(salir, 0);
    EXPECT_EQ(pushing, 1);

    pass({SDLK_TAB});
    EXPECT_EQ(salir, 1);
}

TEST_F(Keys, SixteenUpsReachTheTopAndAFurtherUpOnlyShowsTheOverlay)
{
    for (int n = 1; n <= 16; n++) {
        press(SDLK_UP);
        ASSERT_EQ(volume, 64 + 4 * n);
        ASSERT_EQ(Mix_VolumeMusic(-1), 64 + 4 * n);
    }
    show_volume_bar = 0;
    press(SDLK_UP);
    EXPECT_EQ(volume, 128);
    EXPECT_EQ(Mix_VolumeMusic(-1), 128);
    EXPECT_EQ(show_volume_bar, 240);
}

TEST_F(Keys, SixteenDownsReachSilenceAndAFurtherDownOnlyShowsTheOverlay)
{
    for (int n = 1; n <= 16; n++) {
        press(SDLK_DOWN);
        ASSERT_EQ(volume, 64 - 4 * n);
        ASSERT_EQ(Mix_VolumeMusic(-1), 64 - 4 * n);
    }
    show_volume_bar = 0;
    press(SDLK_DOWN);
    EXPECT_EQ(volume, 0);
    EXPECT_EQ(Mix_VolumeMusic(-1), 0);
    EXPECT_EQ(show_volume_bar, 240);
}

} // namespace
