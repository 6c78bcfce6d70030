// tuner-count: the tuner's start-up, or start-up and a fixed number of passes, for an
// instruction counter. Counts of two runs are subtracted, so process start and exit
// cancel out:
//   tuner-count empty          leaves before SDL is touched
//   tuner-count startup        leaves right after the first credits flip
//   tuner-count passes N       start-up, credits, N passes of the main loop, then leaves
// Every run leaves with _exit, so that shutdown never enters a count.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "app/tuner.h"
#include "bench_support.h"

static void leave_now()
{
    _exit(0);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s empty | startup | passes N\n", argv[0]);
        return 2;
    }
    if (strcmp(argv[1], "empty") == 0)
        _exit(0);
    use_dummy_drivers();
    if (strcmp(argv[1], "startup") == 0) {
        after_flip = leave_now;
        tuner_up();
        return 1;
    }
    if (strcmp(argv[1], "passes") == 0 && argc == 3) {
        long passes = strtol(argv[2], nullptr, 10);
        if (!tuner_up())
            return 1;
        for (long i = 0; i < passes; i++)
            run_pass();
        _exit(0);
    }
    fprintf(stderr, "usage: %s empty | startup | passes N\n", argv[0]);
    return 2;
}
