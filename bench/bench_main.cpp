// tuner-bench: Google Benchmark over the tuner on SDL's dummy drivers. After the usual
// table it prints the figures that matter side by side: the ratios between a pass, the
// SDL calls it makes and the memory traffic under them, start-up, decoding speed and the
// delay before a note sounds. Figures only: nothing here passes or fails.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

#include "bench_support.h"

struct Figure {
    double real = 1e30; // best real time per iteration over the repetitions, in seconds
    double cpu = 1e30;  // best CPU time per iteration (every thread of the process)
    std::map<std::string, double> sum, most; // counters: summed and largest over the repetitions
    int runs = 0;
};

static std::map<std::string, Figure> figures;

// Google Benchmark 1.8 replaced a run's error_occurred with skipped (Debian 12 has 1.7,
// Debian 13 1.9): whichever the library has says whether the run failed.
template <class R> auto run_failed(const R &run, int) -> decltype(bool(run.error_occurred))
{
    return run.error_occurred;
}
template <class R> bool run_failed(const R &run, long)
{
    return run.skipped != 0;
}

// Keeps each benchmark's best time over its repetitions: on a shared machine the other
// runs mostly measure the neighbours. The console shows single runs, or the aggregates
// when a benchmark is repeated.
class FigureReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        std::vector<Run> shown;
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1)
                shown.push_back(run);
            if (run.run_type != Run::RT_Iteration || run_failed(run, 0))
                continue;
            Figure &f = figures[run.run_name.function_name];
            double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
            f.real = std::min(f.real, run.GetAdjustedRealTime() / unit);
            f.cpu = std::min(f.cpu, run.GetAdjustedCPUTime() / unit);
            for (const auto &c : run.counters) {
                f.sum[c.first] += double(c.second);
                f.most[c.first] = std::max(f.most[c.first], double(c.second));
            }
            f.runs++;
        }
        if (!shown.empty())
            ConsoleReporter::ReportRuns(shown);
    }
};

static const Figure *figure(const std::string &name)
{
    auto it = figures.find(name);
    return it == figures.end() ? nullptr : &it->second;
}

static double mean_counter(const Figure *f, const char *name)
{
    auto it = f->sum.find(name);
    return it == f->sum.end() ? 0 : it->second / f->runs;
}

static double most_counter(const Figure *f, const char *name)
{
    auto it = f->most.find(name);
    return it == f->most.end() ? 0 : it->second;
}

static std::string cpu_model()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0 || line.rfind("cpu model", 0) == 0) {
            size_t colon = line.find(':');
            if (colon != std::string::npos)
                return line.substr(colon + 2);
        }
    }
    return "unknown";
}

static void print_time(const char *what, const Figure *f)
{
    if (!f)
        return;
    double scale = f->real < 1e-3 ? 1e6 : 1e3;
    printf("  %-40s %9.2f %s  (CPU %.2f)\n", what, f->real * scale, scale > 1e3 ? "us" : "ms",
           f->cpu * scale);
}

static void print_ratio(const char *what, const Figure *over, const Figure *under, const char *goal)
{
    if (over && under)
        printf("  %-40s %9.2f     (CPU %.2f) %s\n", what, over->real / under->real,
               over->cpu / under->cpu, goal);
}

static void print_summary()
{
    const Figure *pass = figure("BM_Pass");
    const Figure *calls = figure("BM_SdlCallsOfAPass");
    const Figure *floor = figure("BM_MemoryFloor");
    const Figure *streaming = figure("BM_StreamingFloor");

    printf("\nFigures (%s; best of each benchmark's runs, real time, CPU time beside)\n",
           cpu_model().c_str());
    print_time("a pass, nothing playing", pass);
    if (pass)
        printf("  %-40s %9.0f\n", "  passes per second", 1 / pass->real);
    print_time("a pass, a note playing", figure("BM_PassPlaying"));
    print_time("the SDL calls of a pass", calls);
    print_time("the same bytes, memset/memcpy", floor);
    print_time("the same bytes, non-temporal copies", streaming);
    print_ratio("pass / SDL calls", pass, calls, "(goal <= 1.05)");
    print_ratio("SDL calls / memory floor", calls, floor, "");
    print_ratio("SDL calls / non-temporal floor", calls, streaming, "");

    print_time("start-up, SDL_Init to first flip", figure("BM_StartUp"));
    if (figure("BM_StartUp"))
        printf("  %-40s\n", "  (goal <= 20 ms on a desktop)");
    print_time("  the background build", figure("BM_Background"));
    print_time("  loading the six clips", figure("BM_LoadClips"));

    static const char *const clips[] = {"s1e", "s2b", "s3g", "s4d", "s5a", "s6e"};
    for (const char *clip : clips) {
        const Figure *f = figure(std::string("BM_Decode/") + clip);
        if (!f)
            continue;
        double seconds = mean_counter(f, "clip_s");
        printf("  decoding %s, %5.2f s of sound %14.0f x real time (CPU %.0f) (goal >= 100)\n", clip,
               seconds, seconds / f->real, seconds / f->cpu);
    }

    if (const Figure *f = figure("BM_PlayLatency"))
        printf("  %-40s %9.2f buffers on average, at worst %.0f\n"
               "  %-40s (a buffer is 1,024 frames, %.1f ms)\n",
               "play_string to the first sound", mean_counter(f, "buffers"), most_counter(f, "worst"), "",
               1024 * 1000.0 / 44100);
}

int main(int argc, char **argv)
{
    use_dummy_drivers();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    FigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    print_summary();
    return 0;
}
