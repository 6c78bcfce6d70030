// One pass of the main loop, beside the SDL calls a pass cannot do without and the bare
// memory traffic of the same bytes, so that the summary can say what each layer adds.
#include <cstdlib>
#include <cstring>

#include <benchmark/benchmark.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/tuner.h"
#include "app/tuner_state.h"
#include "audio/tones.h"
#include "bench_support.h"

// Passes of the main loop, idle or with the low E playing: then the selected string
// shakes, and the mixer decodes on the audio thread beside it.
static void time_passes(benchmark::State &state, bool playing)
{
    if (!tuner_up()) {
        state.SkipWithError("start-up failed");
        return;
    }
    if (playing) {
        strselect = 6;
        play_string();
    }
    for (auto _ : state)
        run_pass();
    state.counters["passes/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    strselect = 1;
    tuner_down();
}

static void BM_Pass(benchmark::State &state)
{
    time_passes(state, false);
}
BENCHMARK(BM_Pass);

static void BM_PassPlaying(benchmark::State &state)
{
    time_passes(state, true);
}
BENCHMARK(BM_PassPlaying);

// The eleven drawing calls of an idle pass with everything worked out beforehand: the
// black fill, the three blits of the scroll, six columns and the marker.
static void BM_SdlCallsOfAPass(benchmark::State &state)
{
    if (!tuner_up()) {
        state.SkipWithError("start-up failed");
        return;
    }
    Uint32 black = SDL_MapRGBA(screen->format, 0, 0, 0, 255);
    Uint32 white = SDL_MapRGBA(screen->format, 255, 255, 255, 255);
    Uint32 colour[6];
    SDL_Rect column[6];
    for (int i = 0; i < 6; i++) {
        colour[i] = SDL_MapRGBA(screen->format, Uint8(40 * i), Uint8(255 - 40 * i), 128, 255);
        column[i] = SDL_Rect{Sint16(60 + 40 * i), 0, Uint16(9 - i), 240};
    }
    const SDL_Rect marker = {254, 208, 16, 12};
    const SDL_Rect body_from = {0, 0, 320, 239}, body_to = {0, 1, 320, 239};
    const SDL_Rect row_from = {0, 239, 320, 1}, row_to = {0, 0, 320, 1};

    for (auto _ : state) {
        // SDL clips the rectangles it is given in place, so each call gets fresh copies.
        SDL_Rect from = body_from, to = body_to;
        SDL_FillRect(screen, nullptr, black);
        SDL_BlitSurface(background, &from, screen, &to);
        from = row_from;
        to = row_to;
        SDL_BlitSurface(background, &from, screen, &to);
        SDL_BlitSurface(screen, nullptr, background, nullptr);
        for (int i = 0; i < 6; i++) {
            SDL_Rect r = column[i];
            SDL_FillRect(screen, &r, colour[i]);
        }
        SDL_Rect m = marker;
        SDL_FillRect(screen, &m, white);
    }
    tuner_down();
}
BENCHMARK(BM_SdlCallsOfAPass);

// Two 320 x 240 16-bit buffers, allocated as SDL allocates surface pixels.
struct Buffers {
    static constexpr size_t pitch = 320 * 2;
    static constexpr size_t bytes = pitch * 240;
    Uint8 *screen_px = static_cast<Uint8 *>(malloc(bytes));
    Uint8 *background_px = static_cast<Uint8 *>(malloc(bytes));
    Buffers()
    {
        memset(screen_px, 0, bytes);
        memset(background_px, 0x33, bytes);
    }
    ~Buffers()
    {
        free(screen_px);
        free(background_px);
    }
};

// Columns and marker: short runs of 16-bit pixels in every row.
static void fill_columns(Uint8 *px)
{
    for (int y = 0; y < 240; y++) {
        Uint16 *row = reinterpret_cast<Uint16 *>(px + y * Buffers::pitch);
        for (int i = 0; i < 6; i++) {
            Uint16 *p = row + 60 + 40 * i;
            for (int x = 0; x < 9 - i; x++)
                p[x] = Uint16(0x1234 + i);
        }
    }
    for (int y = 208; y < 220; y++) {
        Uint16 *p = reinterpret_cast<Uint16 *>(px + y * Buffers::pitch) + 254;
        for (int x = 0; x < 16; x++)
            p[x] = 0xFFFF;
    }
}

// The floor: the bytes a pass must move, moved with plain memset and memcpy.
static void BM_MemoryFloor(benchmark::State &state)
{
    Buffers b;
    const size_t pitch = Buffers::pitch, bytes = Buffers::bytes;
    for (auto _ : state) {
        memset(b.screen_px, 0, bytes);
        benchmark::ClobberMemory();
        memcpy(b.screen_px + pitch, b.background_px, bytes - pitch);
        memcpy(b.screen_px, b.background_px + bytes - pitch, pitch);
        benchmark::ClobberMemory();
        memcpy(b.background_px, b.screen_px, bytes);
        fill_columns(b.screen_px);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemoryFloor);

#if defined(__SSE2__) && defined(__x86_64__)
// The copies again the way SDL 1.2's copy blit makes them on x86: a non-temporal
// prefetch ahead of the reads and 8-byte non-temporal stores. Such stores bypass the
// cache, so two buffers that would sit in L2 go out to memory and back.
static void streaming_copy(Uint8 *dst, const Uint8 *src, size_t n)
{
    long long *d = reinterpret_cast<long long *>(dst);
    const long long *s = reinterpret_cast<const long long *>(src);
    for (size_t i = 0; i < n / 8; i++) {
        _mm_prefetch(reinterpret_cast<const char *>(s + i) + 256, _MM_HINT_NTA);
        _mm_stream_si64(d + i, s[i]);
    }
}

static void BM_StreamingFloor(benchmark::State &state)
{
    Buffers b;
    const size_t pitch = Buffers::pitch, bytes = Buffers::bytes;
    for (auto _ : state) {
        memset(b.screen_px, 0, bytes);
        benchmark::ClobberMemory();
        for (size_t y = 0; y < 239; y++)
            streaming_copy(b.screen_px + pitch * (y + 1), b.background_px + pitch * y, pitch);
        streaming_copy(b.screen_px, b.background_px + bytes - pitch, pitch);
        _mm_sfence();
        for (size_t y = 0; y < 240; y++)
            streaming_copy(b.background_px + pitch * y, b.screen_px + pitch * y, pitch);
        _mm_sfence();
        fill_columns(b.screen_px);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StreamingFloor);
#endif
