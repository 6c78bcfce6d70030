// tuner-count: the tuner's start-up, or start-up and a fixed number of passes, for an
// instruction counter. Counts of two runs are subtracted, so process start and exit
// cancel out:
//   tuner-count empty          leaves before SDL is touched
//   tuner-count startup        leaves right after the first credits flip
//   tuner-count passes N       start-up, credits, N passes of the main loop, then leaves
//   tuner-count flips N        start-up, credits, one pass, then N more flips of its picture
//   tuner-count background N   start-up, credits, N more background builds, then leaves
//   tuner-count clips N        start-up, credits, N more loads of the six clips, then leaves
//   tuner-count decode N       decodes the six clips N times, as SDL_mixer would; no SDL
//   tuner-count mix N          plays each string's note, as the tuner does, for N times its
//                              length into SDL's disk driver; counted in the audio thread
// so passes N less passes 0, divided by N, is one pass, and so on.
// Every run leaves with _exit, so that shutdown never enters a count.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "app/tuner.h"
#include "app/tuner_state.h"
#include "audio/tones.h"
#include "audio/tone_clips.h"
#include "bench_support.h"
#include "decode.h"
#include "gfx/draw.h"

static void leave_now()
{
    _exit(0);
}

static int usage(const char *name)
{
    fprintf(stderr, "usage: %s empty | startup | passes N | flips N | background N | clips N | decode N | mix N\n",
            name);
    return 2;
}

// The six notes, string 1 first, as the program embeds them.
static const unsigned char *const clip_data[6] = {s1eArray, s2bArray, s3gArray, s4dArray, s5aArray, s6eArray};
static const unsigned int *const clip_len[6] = {&s1eArray_len, &s2bArray_len, &s3gArray_len,
                                                &s4dArray_len, &s5aArray_len, &s6eArray_len};

static volatile long mixed_bytes; // written by the audio thread only

static void count_mixed(void *, Uint8 *, int len)
{
    mixed_bytes = mixed_bytes + len;
}

// Decoding and mixing as the tuner plays a note: SDL's disk audio driver without a delay
// asks for the next buffer as soon as one is written, so the audio thread does nothing but
// decode, mix and write (to /dev/null). Its instruction count over the seconds mixed is the
// cost of a second of sound; the main thread only waits.
static int mix(long times)
{
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    double seconds[6];
    for (int i = 0; i < 6; i++)
        seconds[i] = decode_clip(clip_data[i], *clip_len[i]);
    if (SDL_Init(SDL_INIT_AUDIO) != 0 || Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024) != 0)
        return 1;
    initvars();
    load_clips();
    Mix_SetPostMix(count_mixed, nullptr);
    const double bytes_per_second = 44100.0 * 4;
    for (int i = 0; i < 6; i++) {
        long until = mixed_bytes + long(seconds[i] * double(times) * bytes_per_second);
        strselect = Uint8(i + 1);
        play_string();
        while (mixed_bytes < until)
            SDL_Delay(1);
    }
    printf("seconds of sound: %.3f\n", double(mixed_bytes) / bytes_per_second);
    fflush(stdout);
    _exit(0);
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage(argv[0]);
    if (strcmp(argv[1], "empty") == 0)
        _exit(0);
    use_dummy_drivers();
    if (strcmp(argv[1], "startup") == 0) {
        after_flip = leave_now;
        tuner_up();
        return 1;
    }
    if (argc != 3)
        return usage(argv[0]);
    long times = strtol(argv[2], nullptr, 10);
    if (strcmp(argv[1], "mix") == 0)
        return mix(times);
    if (strcmp(argv[1], "decode") == 0) {
        double seconds = 0;
        for (long i = 0; i < times; i++)
            for (int c = 0; c < 6; c++)
                seconds += decode_clip(clip_data[c], *clip_len[c]);
        printf("seconds of sound: %.3f\n", seconds);
        fflush(stdout);
        _exit(0);
    }
    bool passes = strcmp(argv[1], "passes") == 0;
    bool flips = strcmp(argv[1], "flips") == 0;
    bool builds = strcmp(argv[1], "background") == 0;
    bool loads = strcmp(argv[1], "clips") == 0;
    if (!passes && !flips && !builds && !loads)
        return usage(argv[0]);
    if (!tuner_up())
        return 1;
    if (flips)
        run_pass();
    for (long i = 0; i < times; i++) {
        if (flips) {
            SDL_Flip(screen);
        } else if (passes) {
            run_pass();
        } else if (builds) {
            SDL_FreeSurface(background);
            make_background();
        } else {
            free_resources();
            load_clips();
        }
    }
    _exit(0);
}
