// The built executables, run as a player's shell would run them: what they print on
// standard output, how they end, and how they take SIGINT and SIGTERM.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <dirent.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

extern char **environ;

namespace {

// SDL's disk audio driver creates its file inside Mix_OpenAudio, after the tuner has
// taken over SIGINT and SIGTERM, so the file's appearance says the signals are ours.
constexpr double credits_seconds = 4.82;

struct Child {
    pid_t pid = -1;
    int out = -1;
};

// TUNER_RUNNER, when set, is the command that runs the program, words split at spaces:
// an emulator such as "qemu-mipsel -cpu 4Kc" for a build of another machine's.
std::vector<std::string> command_for(const char *exe)
{
    std::vector<std::string> words;
    if (const char *runner = std::getenv("TUNER_RUNNER")) {
        std::string all = runner;
        for (std::size_t at = 0; at < all.size();) {
            std::size_t end = all.find(' ', at);
            if (end == std::string::npos)
                end = all.size();
            if (end > at)
                words.push_back(all.substr(at, end - at));
            at = end + 1;
        }
    }
    words.push_back(exe);
    return words;
}

// The program with this process's environment, `overrides` set in it; an empty value
// leaves the variable out.
Child spawn(const char *exe, const std::map<std::string, std::string> &overrides)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; e++) {
        std::string entry = *e;
        if (!overrides.count(entry.substr(0, entry.find('='))))
            env.push_back(entry);
    }
    for (const auto &[name, value] : overrides)
        if (!value.empty())
            env.push_back(name + "=" + value);
    std::vector<char *> envp;
    for (std::string &entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    int fds[2];
    Child child;
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return child;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    // Whatever this test inherited, the tuner starts with the signals at their defaults.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t set;
    sigemptyset(&set);
    posix_spawnattr_setsigmask(&attr, &set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    posix_spawnattr_setsigdefault(&attr, &set);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<std::string> command = command_for(exe);
    std::vector<char *> argv;
    for (std::string &word : command)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    int err = posix_spawnp(&child.pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    child.out = fds[0];
    if (err != 0) {
        ADD_FAILURE() << "cannot start " << exe << ": " << std::strerror(err);
        child.pid = -1;
    }
    return child;
}

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void sleep_until(double t)
{
    while (now() < t)
        usleep(10000);
}

// Everything the child wrote, and how it ended; a child that outlives the deadline
// is killed and reported as status -1.
struct Ending {
    std::string out;
    int status = -1;
    double at = 0; // when it was seen to end
};

Ending finish(Child child, double seconds = 30)
{
    Ending end;
    if (child.pid < 0)
        return end;
    double deadline = now() + seconds;
    int raw = 0;
    pid_t done = 0;
    while ((done = waitpid(child.pid, &raw, WNOHANG)) == 0 && now() < deadline)
        usleep(10000);
    end.at = now();
    if (done == 0) {
        kill(child.pid, SIGKILL);
        waitpid(child.pid, &raw, 0);
        ADD_FAILURE() << "the tuner was still running " << seconds << " s later";
    } else if (WIFEXITED(raw)) {
        end.status = WEXITSTATUS(raw);
    } else {
        ADD_FAILURE() << "the tuner died of signal " << WTERMSIG(raw);
    }
    char buf[512];
    ssize_t n;
    while ((n = read(child.out, buf, sizeof buf)) > 0)
        end.out.append(buf, size_t(n));
    close(child.out);
    return end;
}

// One line: the given beginning, then SDL's error text, which is never empty.
testing::AssertionResult one_error_line(const std::string &out, const std::string &start)
{
    if (out.compare(0, start.size(), start) != 0)
        return testing::AssertionFailure() << "output does not start with \"" << start << "\": \"" << out << "\"";
    if (out.size() <= start.size() + 1 || out.back() != '\n' ||
        out.find('\n') != out.size() - 1)
        return testing::AssertionFailure() << "output is not one line with a message: \"" << out << "\"";
    return testing::AssertionSuccess();
}

class Program : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tuner-program-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        if (DIR *d = opendir(dir.c_str())) {
            while (dirent *e = readdir(d))
                if (e->d_name[0] != '.')
                    unlink((dir + "/" + e->d_name).c_str());
            closedir(d);
        }
        rmdir(dir.c_str());
    }
    std::string dir;
};

TEST_F(Program, AVideoDriverThatDoesNotExistGivesOneErrorLineAndStatus1)
{
    Ending end = finish(spawn(TUNER_EXE, {{"SDL_VIDEODRIVER", "no-such-video-driver"},
                                          {"SDL_AUDIODRIVER", "dummy"}}));
    EXPECT_TRUE(one_error_line(end.out, "Error: "));
    EXPECT_EQ(end.status, 1);
}

TEST_F(Program, AnAudioDeviceThatCannotOpenGivesTheMixerErrorAndStatus1)
{
    Ending end = finish(spawn(TUNER_EXE, {{"SDL_VIDEODRIVER", "dummy"},
                                          {"SDL_AUDIODRIVER", "disk"},
                                          {"SDL_DISKAUDIOFILE", dir + "/missing/tone.raw"}}));
    EXPECT_TRUE(one_error_line(end.out, "Error initializing SDL_mixer: "));
    EXPECT_EQ(end.status, 1);
}

TEST_F(Program, AnAudioDriverThatDoesNotExistGivesTheMixerErrorAndStatus1)
{
    Ending end = finish(spawn(TUNER_EXE, {{"SDL_VIDEODRIVER", "dummy"},
                                          {"SDL_AUDIODRIVER", "no-such-audio-driver"}}));
    EXPECT_TRUE(one_error_line(end.out, "Error initializing SDL_mixer: "));
    EXPECT_EQ(end.status, 1);
}

TEST_F(Program, AClipThatCannotBeLoadedIsNamedAndGivesStatus1)
{
#ifndef TUNER_BROKEN_EXE
    GTEST_SKIP() << "this build has no tuner over a broken clip";
#else
    Ending end = finish(spawn(TUNER_BROKEN_EXE, {{"SDL_VIDEODRIVER", "dummy"},
                                                 {"SDL_AUDIODRIVER", "dummy"}}));
    EXPECT_TRUE(one_error_line(end.out, "Error loading the note of string 4: "));
    EXPECT_EQ(end.status, 1);
#endif
}

// Four runs at once to keep the wait short: two are signalled while the credits show,
// two once the credits have run out and the main loop spins.
TEST_F(Program, SigintAndSigtermEndTheRunThroughTheNormalShutdown)
{
    struct Run {
        int signal;
        bool in_credits;
        std::string audio;
        Child child;
        double ready = 0;
    };
    std::vector<Run> runs = {{SIGTERM, true, dir + "/term-credits.raw", {}},
                             {SIGINT, true, dir + "/int-credits.raw", {}},
                             {SIGTERM, false, dir + "/term-loop.raw", {}},
                             {SIGINT, false, dir + "/int-loop.raw", {}}};
    for (Run &r : runs)
        r.child = spawn(TUNER_EXE, {{"SDL_VIDEODRIVER", "dummy"},
                                    {"SDL_AUDIODRIVER", "disk"},
                                    {"SDL_DISKAUDIOFILE", r.audio}});
    double deadline = now() + 30;
    for (Run &r : runs) {
        struct stat st;
        while (r.child.pid > 0 && stat(r.audio.c_str(), &st) != 0 && now() < deadline)
            usleep(5000);
        r.ready = now();
        EXPECT_LT(r.ready, deadline) << "the tuner never opened its audio device";
    }
    for (bool in_credits : {true, false}) {
        for (Run &r : runs) {
            if (r.in_credits != in_credits)
                continue;
            sleep_until(r.ready + (in_credits ? 0.3 : credits_seconds + 1.2));
            if (r.child.pid > 0)
                kill(r.child.pid, r.signal);
        }
        for (Run &r : runs) {
            if (r.in_credits != in_credits)
                continue;
            Ending end = finish(r.child, 10);
            const char *when = in_credits ? " during the credits" : " in the main loop";
            EXPECT_EQ(end.status, 0) << strsignal(r.signal) << when;
            EXPECT_EQ(end.out, "");
            std::printf("%s%s: ended %.2f s after the audio device opened\n", strsignal(r.signal),
                        when, end.at - r.ready);
            if (in_credits) {
                EXPECT_LT(end.at - r.ready, credits_seconds)
                    << strsignal(r.signal) << " waited for the credits to run out";
            } else {
                struct stat st;
                EXPECT_TRUE(stat(r.audio.c_str(), &st) == 0 && st.st_size > 0)
                    << "no sound was written in the main loop";
            }
        }
    }
}

// The desktop's SDL 1.2: SDL 1.2.15, or sdl12-compat over SDL 2. A build for another
// machine has neither a display nor a sound server to go without.
std::string desktop_sdl()
{
#ifdef TUNER_SDL_VERSION
    return TUNER_SDL_VERSION;
#else
    return "";
#endif
}

// Started from a console, over ssh or from a service, there is no display: SDL 2 would
// fall back to a video driver that shows nothing, and the tuner would run unseen.
TEST_F(Program, WithNoDisplayItEndsWithTheVideoErrorLineAndStatus1)
{
    // SDL 1.2.15 falls back to drivers that show, a text-mode one in a terminal.
    if (desktop_sdl().empty() || desktop_sdl() == "1.2.15")
        GTEST_SKIP() << "no fallback to a driver that shows nothing here";
    Ending end = finish(spawn(TUNER_EXE, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"SDL_VIDEODRIVER", ""},
                                          {"SDL_AUDIODRIVER", "dummy"}}),
                        10);
    EXPECT_TRUE(one_error_line(end.out, "Error: "));
    EXPECT_EQ(end.status, 1);
}

// A sound server that takes the connection and never answers holds the start-up in its
// connect: the first Ctrl-C cannot end it through the normal shutdown, the second ends
// the program at once, by SIGINT's own action. SDL 2 knows SDL 1.2's name of the driver.
TEST_F(Program, ASecondSigintEndsAStartUpThatASoundServerHolds)
{
    if (desktop_sdl().empty())
        GTEST_SKIP() << "no way to a sound server here";
    std::string path = dir + "/pulse";
    int server = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0) << std::strerror(errno);
    ASSERT_EQ(listen(server, 4), 0);
    Child child = spawn(TUNER_EXE, {{"SDL_VIDEODRIVER", "dummy"},
                                    {"SDL_AUDIODRIVER", "pulse"},
                                    {"PULSE_SERVER", "unix:" + path}});
    pollfd pfd = {server, POLLIN, 0};
    bool connected = poll(&pfd, 1, 20000) == 1;
    int held = connected ? accept(server, nullptr, nullptr) : -1;
    EXPECT_GE(held, 0) << "the tuner never reached the sound server";
    kill(child.pid, SIGINT);
    usleep(300000);
    kill(child.pid, SIGINT);
    double sent = now();
    int raw = 0;
    pid_t done = 0;
    while ((done = waitpid(child.pid, &raw, WNOHANG)) == 0 && now() < sent + 1)
        usleep(5000);
    if (done == 0) {
        kill(child.pid, SIGKILL);
        waitpid(child.pid, &raw, 0);
    }
    EXPECT_NE(done, 0) << "still running a second after the second SIGINT";
    std::printf("ended %.3f s after the second SIGINT\n", now() - sent);
    close(child.out);
    if (held >= 0)
        close(held);
    close(server);
}

} // namespace
