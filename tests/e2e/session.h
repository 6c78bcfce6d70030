// Driving the real tuner the way a player meets it: a private X server, the real
// executable in it, real key presses through XTEST, the window's pixels through
// XGetImage and the sound through SDL's disk audio driver.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "e2e/picture.h"

// One run of the tuner in its own Xvfb. Plain data; the procedures below act on it.
struct session {
    std::string work_dir;    // private scratch directory: audio capture, logs
    pid_t xvfb = -1;         // the X server's process
    int display_number = -1; // the display Xvfb chose for itself
    Display *display = nullptr;
    pid_t tuner = -1;        // the tuner's process (valgrind's, when wrapped)
    Window frame = 0;        // the top-level window, the one a window manager would decorate
    Window canvas = 0;       // SDL's drawing window inside it
    std::string audio_path;  // what the mixer plays, 44.1 kHz S16LE stereo
    std::string output_path; // the tuner's standard output and error
    int exit_status = -1;    // once the tuner has ended: its status, or 128 + signal
    double slowness = 1.0;   // factor on every time limit, for runs under valgrind
    std::set<Window> shown;  // every top-level window mapped since the server started
    // The screen: small enough that the window is never scaled (within two thirds of it
    // only at scale 1), unless a test makes it a desktop's.
    std::string screen = "640x480x16";
};

// Where the real tuner lives; the build passes it in.
std::string tuner_path();

// Starts Xvfb on a display it picks itself (so that parallel runs never collide), its
// screen s.screen, at 16 bits, the tuner's own depth. False with a reason on failure.
bool start_x_server(session &s, std::string &why);

// How many top-level windows the X server has mapped since it started. The tuner is its
// only client that makes any, so this is how many windows the tuner has shown, those it
// has since destroyed included.
std::size_t windows_shown(session &s);

// Starts the tuner in the X server, its sound going to a file in the work directory.
// `wrapper` (for instance valgrind and its options) is put before the program.
bool start_tuner(session &s, const std::vector<std::string> &wrapper, std::string &why);

// Waits until the tuner's window is mapped, then puts the pointer inside it: with no
// window manager, keys reach the window under the pointer only.
bool wait_for_window(session &s, double seconds, std::string &why);

// Everything up: work directory, X server, tuner, window. The wrapper is optional.
bool open_session(session &s, std::string &why, const std::vector<std::string> &wrapper = {});

// Ends whatever still runs (tuner, then X server) and removes the work directory
// unless `keep` is set.
void close_session(session &s, bool keep = false);

// Keys, by X key symbol (XK_Left, XK_Control_L, ...). key_down returns once the server
// has the event, so a capture made straight afterwards sees the program's answer to it.
void key_down(session &s, unsigned long keysym);
void key_up(session &s, unsigned long keysym);
// Holds the key for `hold_ms`, releases it, and leaves `gap_ms` before returning, so
// that the program sees one press and then a pass with no key held.
void press(session &s, unsigned long keysym, int hold_ms = 60, int gap_ms = 40);

// The canvas's pixels now.
bool capture(session &s, picture &p);

// Captures until `accept` says yes or the time runs out; the last capture stays in p.
bool capture_until(session &s, picture &p, double seconds, const std::function<bool(const picture &)> &accept);

// Presses Up or Down and waits for the overlay to show `volume`, the level the press
// should lead to. The overlay lasts 240 passes, some tens of milliseconds here; should
// a busy machine keep the driver off the processor that long, the press is undone with
// the other key and made again, which leaves the volume where it was meant to be.
// False when the overlay never showed `volume`; p holds the last capture.
bool change_volume(session &s, picture &p, unsigned long keysym, int volume);

// A request to close the window, as a window manager sends it when the user clicks
// the close button: a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW.
void send_close_request(session &s);

// The sound captured so far. Offsets are in bytes of the capture file, always at a
// whole stereo frame.
constexpr double audio_rate = 44100.0;
constexpr std::size_t audio_frame_bytes = 4;
constexpr std::size_t audio_buffer_bytes = 1024 * audio_frame_bytes; // one mixer buffer
std::size_t audio_bytes(const session &s);
// Waits until the capture holds at least `bytes`; false when the time runs out.
bool wait_audio(const session &s, std::size_t bytes, double seconds);
// The raw capture from `from` on, `count` bytes at most.
std::vector<unsigned char> read_audio(const session &s, std::size_t from, std::size_t count);
// Largest magnitude of any sample (either channel) in raw S16LE bytes.
int peak_sample(const std::vector<unsigned char> &raw);
// Offset just past the last non-zero sample, or 0 if all are zero.
std::size_t end_of_sound(const std::vector<unsigned char> &raw);

// Whether the tuner still runs; when it has ended, exit_status is set.
bool tuner_running(session &s);
// Waits for the tuner to end; false if it still runs when the time is up.
bool wait_exit(session &s, double seconds);

// The tuner's standard output and error so far.
std::string tuner_output(const session &s);

// Seconds on a steady clock, and a sleep.
double now_seconds();
void sleep_ms(int ms);
