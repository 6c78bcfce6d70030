// Start-up: from SDL_Init to the first credits flip, and its two big steps on their own.
#include <chrono>

#include <benchmark/benchmark.h>

#include "app/tuner.h"
#include "app/tuner_state.h"
#include "audio/tones.h"
#include "bench_support.h"
#include "gfx/draw.h"

using bench_clock = std::chrono::steady_clock;

static bench_clock::time_point first_flip_at;
static unsigned long flips_before;

static void note_first_flip()
{
    if (flip_count == flips_before + 1)
        first_flip_at = bench_clock::now();
}

// The clock runs from just before start_up(), whose first act is SDL_Init, to the return
// of the credits' first flip. The credits' 20 ms poll and the shutdown lie outside it.
static void BM_StartUp(benchmark::State &state)
{
    after_flip = note_first_flip;
    for (auto _ : state) {
        flips_before = flip_count;
        auto start = bench_clock::now();
        if (!tuner_up()) {
            state.SkipWithError("start-up failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(first_flip_at - start).count());
        tuner_down();
    }
    after_flip = nullptr;
}
BENCHMARK(BM_StartUp)->UseManualTime()->Unit(benchmark::kMillisecond);

// The noise field: 76,800 one-pixel fills, each after three rand() calls and a colour map.
static void BM_Background(benchmark::State &state)
{
    if (!tuner_up()) {
        state.SkipWithError("start-up failed");
        return;
    }
    SDL_Surface *kept = background;
    for (auto _ : state) {
        make_background();
        SDL_FreeSurface(background);
    }
    background = kept;
    tuner_down();
}
BENCHMARK(BM_Background)->Unit(benchmark::kMillisecond);

// Loading the six clips: what Mix_LoadMUS_RW does with each stream before it plays.
static void BM_LoadClips(benchmark::State &state)
{
    if (!tuner_up()) {
        state.SkipWithError("start-up failed");
        return;
    }
    for (auto _ : state) {
        free_resources();
        load_clips();
    }
    tuner_down();
}
BENCHMARK(BM_LoadClips)->Unit(benchmark::kMillisecond);
