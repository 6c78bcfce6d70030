#include "support/child.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

pid_t spawn_child(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                  const std::string &output, int keep_fd)
{
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127);
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
    }
    int null_in = open("/dev/null", O_RDONLY);
    if (null_in >= 0)
        dup2(null_in, 0);
    for (int fd = 3; fd < 1024; fd++)
        if (fd != keep_fd)
            close(fd);
    for (const std::string &e : env)
        putenv(strdup(e.c_str()));
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}
