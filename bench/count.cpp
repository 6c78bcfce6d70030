// tuner-count: the tuner's start-up, or start-up and a fixed number of passes, for an
// instruction counter. Counts of two runs are subtracted, so process start and exit
// cancel out:
//   tuner-count empty          leaves before SDL is touched
//   tuner-count startup        leaves right after the first credits flip
//   tuner-count passes N       start-up, credits, N passes of the main loop, then leaves
//   tuner-count background N   start-up, credits, N more background builds, then leaves
//   tuner-count clips N        start-up, credits, N more loads of the six clips, then leaves
//   tuner-count decode N       decodes the six clips N times, as SDL_mixer would; no SDL
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
    fprintf(stderr, "usage: %s empty | startup | passes N | background N | clips N | decode N\n", name);
    return 2;
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
    if (strcmp(argv[1], "decode") == 0) {
        double seconds = 0;
        for (long i = 0; i < times; i++) {
            seconds += decode_clip(s1eArray, s1eArray_len);
            seconds += decode_clip(s2bArray, s2bArray_len);
            seconds += decode_clip(s3gArray, s3gArray_len);
            seconds += decode_clip(s4dArray, s4dArray_len);
            seconds += decode_clip(s5aArray, s5aArray_len);
            seconds += decode_clip(s6eArray, s6eArray_len);
        }
        printf("seconds of sound: %.3f\n", seconds);
        fflush(stdout);
        _exit(0);
    }
    bool passes = strcmp(argv[1], "passes") == 0;
    bool builds = strcmp(argv[1], "background") == 0;
    bool loads = strcmp(argv[1], "clips") == 0;
    if (!passes && !builds && !loads)
        return usage(argv[0]);
    if (!tuner_up())
        return 1;
    for (long i = 0; i < times; i++) {
        if (passes) {
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
