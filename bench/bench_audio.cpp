// The notes: how fast libvorbisfile decodes them, and how soon the first one sounds.
#include <atomic>

#include <benchmark/benchmark.h>

#include "app/tuner_state.h"
#include "audio/tone_clips.h"
#include "audio/tones.h"
#include "bench_support.h"
#include "decode.h"

static void BM_Decode(benchmark::State &state, const unsigned char *data, const unsigned int *len)
{
    double seconds = 0;
    for (auto _ : state) {
        seconds = decode_clip(data, *len);
        if (seconds < 0) {
            state.SkipWithError("the clip does not decode");
            return;
        }
    }
    // Seconds of sound per second of decoding: the multiple of real time.
    state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["clip_s"] = seconds;
}
BENCHMARK_CAPTURE(BM_Decode, s1e, s1eArray, &s1eArray_len)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, s2b, s2bArray, &s2bArray_len)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, s3g, s3gArray, &s3gArray_len)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, s4d, s4dArray, &s4dArray_len)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, s5a, s5aArray, &s5aArray_len)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, s6e, s6eArray, &s6eArray_len)->Unit(benchmark::kMillisecond);

// The mixer's output, watched after the music is mixed in. The dummy audio driver calls
// the mixer once per buffer of 1,024 frames, in real time, as a sound card would.
static std::atomic<long> buffers_mixed;
static std::atomic<long> sound_found_in{-1};
static std::atomic<int> sound_found_at{-1};
static std::atomic<bool> watching{false};

static void watch_output(void *, Uint8 *stream, int len)
{
    long buffer = ++buffers_mixed;
    if (!watching || sound_found_in >= 0)
        return;
    const Sint16 *sample = reinterpret_cast<const Sint16 *>(stream);
    for (int i = 0; i < len / 2; i++) {
        if (sample[i] != 0) {
            sound_found_at = i / 2;
            sound_found_in = buffer;
            return;
        }
    }
}

static void wait_buffers(long n)
{
    long until = buffers_mixed + n;
    while (buffers_mixed < until)
        SDL_Delay(1);
}

// Counts buffers from play_string() to the first one holding a sample that is not zero:
// 1 means the very next buffer the mixer fills. Every string, in turn.
static void BM_PlayLatency(benchmark::State &state)
{
    if (!tuner_up()) {
        state.SkipWithError("start-up failed");
        return;
    }
    Mix_SetPostMix(watch_output, nullptr);
    double buffers = 0, frames_in = 0;
    long worst = 0;
    Uint8 string = 1;
    for (auto _ : state) {
        state.PauseTiming();
        Mix_HaltMusic();
        wait_buffers(2);
        strselect = string;
        string = Uint8(string % 6 + 1);
        sound_found_in = -1;
        watching = true;
        state.ResumeTiming();

        // The audio lock keeps the mixer from running between the count and the call.
        SDL_LockAudio();
        long before = buffers_mixed;
        play_string();
        SDL_UnlockAudio();
        Uint32 give_up = SDL_GetTicks() + 2000;
        while (sound_found_in < 0 && SDL_GetTicks() < give_up)
            SDL_Delay(1);
        watching = false;
        if (sound_found_in < 0) {
            state.SkipWithError("no sound within 2 s");
            break;
        }
        long took = sound_found_in - before;
        buffers += double(took);
        frames_in += sound_found_at;
        if (took > worst)
            worst = took;
    }
    state.counters["buffers"] = benchmark::Counter(buffers, benchmark::Counter::kAvgIterations);
    state.counters["worst"] = double(worst);
    state.counters["frame_in_buffer"] = benchmark::Counter(frames_in, benchmark::Counter::kAvgIterations);
    Mix_SetPostMix(nullptr, nullptr);
    Mix_HaltMusic();
    strselect = 1;
    tuner_down();
}
BENCHMARK(BM_PlayLatency)->Iterations(24)->Unit(benchmark::kMillisecond);
