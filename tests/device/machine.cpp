#include "device/machine.h"
#include "support/child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef DEVICE_MACHINE
#error "DEVICE_MACHINE must name handheld/device-machine"
#endif

namespace {

constexpr std::size_t wav_header_bytes = 44; // qemu's WAV writer: RIFF, fmt and data headers

std::string read_text(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool running(machine &m)
{
    if (m.qemu <= 0 || m.exit_status >= 0)
        return false;
    int status;
    pid_t r = waitpid(m.qemu, &status, WNOHANG);
    if (r == 0)
        return true;
    m.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
}

// Reads the monitor until its prompt; the text before it.
std::string read_to_prompt(machine &m, double seconds)
{
    const std::string prompt = "(qemu) ";
    std::string got;
    double deadline = now_seconds() + seconds;
    while (now_seconds() < deadline) {
        pollfd pfd = {m.monitor, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0)
            continue;
        char buf[4096];
        ssize_t n = read(m.monitor, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, std::size_t(n));
        if (got.size() >= prompt.size() && got.compare(got.size() - prompt.size(), prompt.size(), prompt) == 0)
            return got.substr(0, got.size() - prompt.size());
    }
    return "";
}

bool connect_monitor(machine &m, double seconds)
{
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::string path = m.dir + "/monitor.sock";
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    double deadline = now_seconds() + seconds;
    while (now_seconds() < deadline && running(m)) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
            m.monitor = fd;
            return !read_to_prompt(m, 10).empty();
        }
        if (fd >= 0)
            close(fd);
        sleep_ms(50);
    }
    return false;
}

// qemu's screen dump is a binary PPM, 8 bits a channel; the 16-bit frame buffer was
// widened with zero low bits, so the top bits give back the 5-6-5 pixels exactly.
bool read_ppm(const std::string &path, picture &p)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    if (!in || magic != "P6" || max != 255 || w <= 0 || h <= 0)
        return false;
    std::vector<unsigned char> rgb(std::size_t(w) * std::size_t(h) * 3);
    in.read(reinterpret_cast<char *>(rgb.data()), std::streamsize(rgb.size()));
    if (!in)
        return false;
    p.w = w;
    p.h = h;
    p.px.resize(std::size_t(w) * std::size_t(h));
    for (std::size_t i = 0; i < p.px.size(); i++)
        p.px[i] = rgb565(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
    return true;
}

} // namespace

double now_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void sleep_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

long build_initramfs(const std::string &dir, const std::string &exe, std::string &why)
{
    std::string out = dir + "/initramfs.gz";
    pid_t pid = spawn_child({DEVICE_MACHINE, "initramfs", exe, out}, {}, dir + "/initramfs.log");
    int status = -1;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        why = "building the initramfs failed: " + read_text(dir + "/initramfs.log");
        return 0;
    }
    struct stat st;
    return stat(out.c_str(), &st) == 0 ? long(st.st_size) : 0;
}

bool boot(machine &m, bool sound, std::string &why)
{
    std::vector<std::string> argv = {DEVICE_MACHINE, "boot", m.dir + "/initramfs.gz", m.dir};
    if (!sound)
        argv.push_back("nosound");
    unlink((m.dir + "/monitor.sock").c_str());
    unlink((m.dir + "/sound.wav").c_str());
    m.exit_status = -1;
    m.launched = now_seconds();
    m.qemu = spawn_child(argv, {}, m.dir + "/qemu.log");
    if (m.qemu < 0 || !connect_monitor(m, 60)) {
        why = "qemu did not start: " + read_text(m.dir + "/qemu.log");
        return false;
    }
    return true;
}

std::string monitor_command(machine &m, const std::string &command)
{
    std::string line = command + "\n";
    if (m.monitor < 0 || write(m.monitor, line.data(), line.size()) != ssize_t(line.size()))
        return "";
    return read_to_prompt(m, 30);
}

void sendkey(machine &m, const std::string &key, int hold_ms)
{
    monitor_command(m, "sendkey " + key + " " + std::to_string(hold_ms));
}

bool screendump(machine &m, picture &p)
{
    std::string path = m.dir + "/screen.ppm";
    unlink(path.c_str());
    return !monitor_command(m, "screendump " + path).empty() && read_ppm(path, p);
}

bool dump_until(machine &m, picture &p, double seconds, const std::function<bool(const picture &)> &accept)
{
    double deadline = now_seconds() + seconds;
    do {
        if (screendump(m, p) && accept(p))
            return true;
        sleep_ms(20);
    } while (now_seconds() < deadline && running(m));
    return false;
}

std::string serial_log(const machine &m)
{
    return read_text(m.dir + "/serial.log");
}

std::size_t sound_bytes(const machine &m)
{
    struct stat st;
    if (stat((m.dir + "/sound.wav").c_str(), &st) != 0 || std::size_t(st.st_size) < wav_header_bytes)
        return 0;
    return (std::size_t(st.st_size) - wav_header_bytes) / sound_frame_bytes * sound_frame_bytes;
}

bool wait_sound(const machine &m, std::size_t bytes, double idle_seconds)
{
    std::size_t last = sound_bytes(m);
    double grew = now_seconds();
    while (last < bytes) {
        if (now_seconds() > grew + idle_seconds)
            return false;
        sleep_ms(20);
        std::size_t now = sound_bytes(m);
        if (now != last)
            grew = now_seconds();
        last = now;
    }
    return true;
}

std::vector<std::int16_t> read_sound(const machine &m, std::size_t from, std::size_t count)
{
    std::ifstream in(m.dir + "/sound.wav", std::ios::binary);
    in.seekg(std::streamoff(wav_header_bytes + from));
    std::vector<unsigned char> raw(count);
    in.read(reinterpret_cast<char *>(raw.data()), std::streamsize(count));
    raw.resize(std::size_t(in.gcount()) / sound_frame_bytes * sound_frame_bytes);
    std::vector<std::int16_t> samples(raw.size() / 2);
    for (std::size_t i = 0; i < samples.size(); i++)
        samples[i] = std::int16_t(std::uint16_t(raw[2 * i] | (raw[2 * i + 1] << 8)));
    return samples;
}

bool sound_file_complete(const machine &m)
{
    std::ifstream in(m.dir + "/sound.wav", std::ios::binary);
    unsigned char h[wav_header_bytes] = {};
    in.read(reinterpret_cast<char *>(h), sizeof h);
    auto le32 = [&](std::size_t at) {
        return std::size_t(h[at]) | std::size_t(h[at + 1]) << 8 | std::size_t(h[at + 2]) << 16 |
               std::size_t(h[at + 3]) << 24;
    };
    return in && std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 36, "data", 4) == 0 &&
           le32(40) == sound_bytes(m) && le32(4) == sound_bytes(m) + wav_header_bytes - 8;
}

bool wait_poweroff(machine &m, double seconds)
{
    double deadline = now_seconds() + seconds;
    while (running(m)) {
        if (now_seconds() > deadline)
            return false;
        sleep_ms(20);
    }
    return true;
}

void quit_machine(machine &m)
{
    if (running(m)) {
        std::string line = "quit\n";
        if (m.monitor >= 0 && write(m.monitor, line.data(), line.size()) == ssize_t(line.size()))
            wait_poweroff(m, 30);
        if (running(m)) {
            kill(m.qemu, SIGTERM);
            wait_poweroff(m, 30);
        }
    }
    if (m.monitor >= 0)
        close(m.monitor);
    m.monitor = -1;
}
