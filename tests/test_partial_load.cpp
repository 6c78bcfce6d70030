// Linked with a clip set whose note of string 4 is corrupt: loading stops part-way,
// and what was loaded must be given back whole, however often that happens.
#include <malloc.h>

#include <gtest/gtest.h>

#include "app/tuner.h"
#include "app/tuner_state.h"
#include "audio/tones.h"

namespace {

bool nothing_held()
{
    for (int i = 0; i < 6; i++)
        if (strings[i] || clip_rw[i])
            return false;
    return true;
}

TEST(PartialLoad, StartUpNamesTheBrokenNoteAndLeavesSdlDown)
{
    testing::internal::CaptureStdout();
    int status = start_up();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out.rfind("Error loading the note of string 4: ", 0), 0u) << out;
    EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
    EXPECT_TRUE(nothing_held());
}

size_t heap_in_use()
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    return mallinfo2().uordblks;
#else
    return 0;
#endif
}

TEST(PartialLoad, RepeatedFailedLoadsGiveBackEveryReaderAndNote)
{
#if !(defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33)))
    GTEST_SKIP() << "needs glibc's heap statistics";
#endif
    ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO), 0) << SDL_GetError();
    ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024), 0) << SDL_GetError();

    // The first rounds settle the libraries' own one-time allocations.
    for (int i = 0; i < 3; i++) {
        load_clips();
        ASSERT_NE(strings[2], nullptr);
        ASSERT_EQ(strings[3], nullptr);
        free_resources();
        free_resources();
    }
    // The heap's count of bytes in use wanders by a few hundred as its caches fill;
    // a reader or a note kept each round would add tens of bytes, or kilobytes, a round.
    constexpr int rounds = 200;
    size_t before = heap_in_use();
    for (int i = 0; i < rounds; i++) {
        load_clips();
        free_resources();
        free_resources();
    }
    size_t after = heap_in_use();
    EXPECT_TRUE(nothing_held());
    EXPECT_LT(after, before + rounds * 16) << rounds << " failed loads kept " << after - before << " bytes";

    Mix_CloseAudio();
    SDL_Quit();
}

} // namespace
