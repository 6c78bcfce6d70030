// The emulated handheld seen from the host: qemu started through handheld/device-machine,
// its monitor for keys and screen dumps, its serial line, and the sound card's output
// as qemu writes it to a WAV file.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "e2e/picture.h"

struct machine {
    std::string dir;        // work directory: initramfs, monitor socket, serial log, sound
    pid_t qemu = -1;
    int monitor = -1;       // the human monitor's socket
    double launched = 0;    // when qemu was started, in now_seconds()
    int exit_status = -1;   // qemu's, once it has ended
};

double now_seconds();
void sleep_ms(int ms);

// Builds DIR/initramfs.gz around the handheld executable; its size in bytes, or 0.
long build_initramfs(const std::string &dir, const std::string &exe, std::string &why);

// Starts the machine on DIR/initramfs.gz and connects to its monitor. Without sound,
// the kernel is told to leave the sound modules out.
bool boot(machine &m, bool sound, std::string &why);

// One monitor command; its answer, or empty when the monitor does not answer.
std::string monitor_command(machine &m, const std::string &command);

// A key as the keyboard sends it (qemu's names: ret, ctrl, left, up, tab), held for
// longer than a pass of the tuner takes under emulation, so SDL sees it down.
void sendkey(machine &m, const std::string &key, int hold_ms = 200);

// The screen now, read back from a screen dump as 5-6-5 pixels.
bool screendump(machine &m, picture &p);
// Screen dumps until `accept` says yes or the time runs out; the last stays in p.
bool dump_until(machine &m, picture &p, double seconds, const std::function<bool(const picture &)> &accept);

// The serial line so far: the kernel, /init, and the tuner's own output.
std::string serial_log(const machine &m);

// What the sound card has played so far, 44.1 kHz S16LE stereo; qemu writes it only
// while the card plays. Counts and offsets are in bytes after the WAV header.
constexpr double sound_rate = 44100.0;
constexpr std::size_t sound_frame_bytes = 4;
std::size_t sound_bytes(const machine &m);
// Waits until `bytes` have been played; false once nothing more has come for
// `idle_seconds`, as when the card has stalled.
bool wait_sound(const machine &m, std::size_t bytes, double idle_seconds);
std::vector<std::int16_t> read_sound(const machine &m, std::size_t from, std::size_t count);
// Whether qemu finished the WAV file: its header gives the length the file has, which
// it writes only when it ends cleanly.
bool sound_file_complete(const machine &m);

// Waits for qemu to end by itself (the guest powering off); false if it still runs.
bool wait_poweroff(machine &m, double seconds);
// Ends qemu through its monitor, which, unlike a kill, lets it finish the WAV file.
void quit_machine(machine &m);
