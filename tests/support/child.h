// Starting the programs a test drives (Xvfb, the tuner, qemu) as its children.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

// Runs argv (looked up on PATH) with `env` added to this process's environment, its
// standard output and error into the file `output`, standard input from /dev/null and no
// other descriptor of ours but `keep_fd`. The child dies with the test, so that a crashed
// test never leaves servers or machines behind. Returns its pid.
pid_t spawn_child(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                  const std::string &output, int keep_fd = -1);
