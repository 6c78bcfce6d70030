// Playback through the real mixer on the dummy audio driver: what the mixer actually
// produces is caught after mixing and compared with the embedded clips as decoded
// here, independently, by libvorbisfile.
#include <cstring>
#include <vector>

#include <vorbis/vorbisfile.h>

#include "audio/tone_clips.h"
#include "support/tuner_keys.h"

namespace {

const testing::Environment *const tuner = testing::AddGlobalTestEnvironment(new TunerRunning);

constexpr int frames_per_buffer = 1024;   // the audio buffer the tuner opens the device with
constexpr int buffers_compared = 4;

// Every buffer the mixer has produced since the last clear; guarded by the audio lock,
// which SDL holds while the post-mix hook runs.
std::vector<std::vector<Sint16>> mixed;

void catch_mix(void *, Uint8 *stream, int len)
{
    std::vector<Sint16> buffer(size_t(len) / sizeof(Sint16));
    std::memcpy(buffer.data(), stream, buffer.size() * sizeof(Sint16));
    mixed.push_back(std::move(buffer));
}

size_t buffers_mixed()
{
    SDL_LockAudio();
    size_t n = mixed.size();
    SDL_UnlockAudio();
    return n;
}

// Waits for the audio thread to mix n buffers; fails rather than hangs if it never does.
void wait_for_buffers(size_t n)
{
    for (int waited = 0; buffers_mixed() < n; waited += 5) {
        ASSERT_LT(waited, 10000) << "the mixer stopped producing sound";
        SDL_Delay(5);
    }
}

// A key pass in the same audio-locked stretch as the clearing of the capture, so the
// first captured buffer is the first one mixed after the keys acted.
void pass_and_capture(std::initializer_list<SDLKey> held)
{
    SDL_LockAudio();
    mixed.clear();
    pass(held);
    SDL_UnlockAudio();
}

struct MemoryClip {
    const unsigned char *data;
    size_t size;
    size_t at;
};

size_t clip_read(void *ptr, size_t size, size_t count, void *source)
{
    auto *clip = static_cast<MemoryClip *>(source);
    size_t n = std::min(size * count, clip->size - clip->at);
    std::memcpy(ptr, clip->data + clip->at, n);
    clip->at += n;
    return size ? n / size : 0;
}

// The opening frames of string n's clip as one channel of signed 16-bit samples.
std::vector<Sint16> clip_opening(int n, size_t frames)
{
    static const unsigned char *const arrays[6] = {s1eArray, s2bArray, s3gArray,
                                                   s4dArray, s5aArray, s6eArray};
    static const unsigned int *const lengths[6] = {&s1eArray_len, &s2bArray_len, &s3gArray_len,
                                                   &s4dArray_len, &s5aArray_len, &s6eArray_len};
    MemoryClip clip{arrays[n - 1], *lengths[n - 1], 0};
    ov_callbacks callbacks{clip_read, nullptr, nullptr, nullptr};
    OggVorbis_File vf;
    std::vector<Sint16> samples;
    if (ov_open_callbacks(&clip, &vf, nullptr, 0, callbacks) != 0) {
        ADD_FAILURE() << "clip of string " << n << " does not decode";
        return samples;
    }
    EXPECT_EQ(ov_info(&vf, -1)->channels, 1);
    EXPECT_EQ(ov_info(&vf, -1)->rate, 44100);
    samples.resize(frames);
    size_t got = 0;
    int section = 0;
    while (got < frames) {
        long n_bytes = ov_read(&vf, reinterpret_cast<char *>(samples.data() + got),
                               int((frames - got) * sizeof(Sint16)), 0, 2, 1, &section);
        if (n_bytes <= 0)
            break;
        got += size_t(n_bytes) / sizeof(Sint16);
    }
    ov_clear(&vf);
    EXPECT_EQ(got, frames) << "clip of string " << n << " is too short";
    return samples;
}

// At full volume the mixer copies the mono clip into both stereo channels unchanged.
testing::AssertionResult captured_opening_of(int n)
{
    std::vector<Sint16> expected = clip_opening(n, size_t(frames_per_buffer) * buffers_compared);
    SDL_LockAudio();
    std::vector<std::vector<Sint16>> got(mixed.begin(), mixed.begin() + buffers_compared);
    SDL_UnlockAudio();
    for (int b = 0; b < buffers_compared; b++) {
        if (got[b].size() != size_t(2 * frames_per_buffer))
            return testing::AssertionFailure() << "buffer " << b << " holds " << got[b].size() << " samples";
        for (int f = 0; f < frames_per_buffer; f++) {
            Sint16 want = expected[size_t(b * frames_per_buffer + f)];
            Sint16 left = got[b][size_t(2 * f)], right = got[b][size_t(2 * f + 1)];
            if (left != want || right != want)
                return testing::AssertionFailure()
                       << "frame " << b * frames_per_buffer + f << " is (" << left << ", " << right
                       << "), the clip of string " << n << " has " << want;
        }
    }
    return testing::AssertionSuccess();
}

bool all_silent(size_t buffers)
{
    SDL_LockAudio();
    bool silent = true;
    for (size_t b = 0; b < buffers && b < mixed.size(); b++)
        for (Sint16 s : mixed[b])
            silent = silent && s == 0;
    SDL_UnlockAudio();
    return silent;
}

class Playback : public testing::Test {
protected:
    void SetUp() override
    {
        reset_tuner();
        for (int i = 0; i < 16; i++)
            press(SDLK_UP);
        ASSERT_EQ(Mix_VolumeMusic(-1), 128);
        Mix_SetPostMix(catch_mix, nullptr);
    }
    void TearDown() override
    {
        Mix_SetPostMix(nullptr, nullptr);
        Mix_HaltMusic();
        mixed.clear();
    }
};

TEST_F(Playback, NothingSoundsBeforeLeftCtrl)
{
    pass_and_capture({});
    wait_for_buffers(buffers_compared);
    EXPECT_FALSE(Mix_PlayingMusic());
    EXPECT_TRUE(all_silent(buffers_compared));
}

TEST_F(Playback, LeftCtrlPlaysTheSelectedStringsClipFromItsStart)
{
    for (int n = 1; n <= 6; n++) {
        if (n > 1)
            press(SDLK_LEFT);
        ASSERT_EQ(strselect, n);
        pass_and_capture({SDLK_LCTRL});
        EXPECT_TRUE(Mix_PlayingMusic());
        wait_for_buffers(buffers_compared);
        EXPECT_TRUE(captured_opening_of(n));
        pass({});
    }
}

TEST_F(Playback, LeftAndRightSilenceTheNoteAtOnce)
{
    for (SDLKey k : {SDLK_LEFT, SDLK_RIGHT}) {
        press(SDLK_LCTRL);
        ASSERT_TRUE(Mix_PlayingMusic());
        pass_and_capture({k});
        EXPECT_FALSE(Mix_PlayingMusic());
        wait_for_buffers(buffers_compared);
        EXPECT_TRUE(all_silent(buffers_compared));
        pass({});
    }
}

TEST_F(Playback, SecondLeftCtrlStartsTheNoteAgainFromItsBeginning)
{
    pass_and_capture({SDLK_LCTRL});
    pass({});
    wait_for_buffers(12);
    SDL_LockAudio();
    mixed.clear();
    SDL_UnlockAudio();
    wait_for_buffers(buffers_compared);
    ASSERT_FALSE(captured_opening_of(1)) << "the note should have moved on from its start";

    pass_and_capture({SDLK_LCTRL});
    EXPECT_TRUE(Mix_PlayingMusic());
    wait_for_buffers(buffers_compared);
    EXPECT_TRUE(captured_opening_of(1));
}

TEST_F(Playback, ANoteChosenAgainSoundsFromItsBeginning)
{
    press(SDLK_LCTRL);
    wait_for_buffers(buffers_mixed() + 12);
    press(SDLK_LEFT);
    press(SDLK_RIGHT);
    ASSERT_EQ(strselect, 1);

    pass_and_capture({SDLK_LCTRL});
    wait_for_buffers(buffers_compared);
    EXPECT_TRUE(captured_opening_of(1));
}

} // namespace
