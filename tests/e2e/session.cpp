#include "e2e/session.h"
#include "support/child.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef TUNER_EXECUTABLE
#error "TUNER_EXECUTABLE must name the tuner executable"
#endif

std::string tuner_path()
{
    const char *override_path = std::getenv("TUNER_EXECUTABLE");
    return override_path && *override_path ? override_path : TUNER_EXECUTABLE;
}

double now_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void sleep_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Windows can vanish between listing and asking (the tuner ending, a test closing it);
// Xlib's default would end the whole driver on such an error.
static int ignore_x_error(Display *, XErrorEvent *)
{
    return 0;
}

bool start_x_server(session &s, std::string &why)
{
    int fds[2];
    if (pipe(fds) != 0) {
        why = "pipe failed";
        return false;
    }
    // -displayfd: Xvfb takes the first free display and writes its number when it is
    // ready for clients. -noreset: the server must not reset when SDL's probe, the
    // first client, disconnects, or SDL's real connection can be refused.
    s.xvfb = spawn_child({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", s.screen,
                          "-nolisten", "tcp", "-noreset"},
                         {}, s.work_dir + "/xvfb.log", fds[1]);
    close(fds[1]);
    std::string number;
    double deadline = now_seconds() + 20 * s.slowness;
    while (now_seconds() < deadline) {
        pollfd pfd = {fds[0], POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0)
            continue;
        char c;
        ssize_t got = read(fds[0], &c, 1);
        if (got <= 0 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        why = "Xvfb did not report a display (is the xvfb package installed?)";
        return false;
    }
    s.display_number = std::atoi(number.c_str());
    std::string name = ":" + number;
    s.display = XOpenDisplay(name.c_str());
    if (!s.display) {
        why = "cannot open display " + name;
        return false;
    }
    XSetErrorHandler(ignore_x_error);
    int event_base, error_base, major, minor;
    if (!XTestQueryExtension(s.display, &event_base, &error_base, &major, &minor)) {
        why = "the X server has no XTEST";
        return false;
    }
    // Map events of the root's children, from before the tuner starts, for windows_shown.
    XSelectInput(s.display, DefaultRootWindow(s.display), SubstructureNotifyMask);
    XSync(s.display, False);
    return true;
}

std::size_t windows_shown(session &s)
{
    XSync(s.display, False);
    while (XPending(s.display)) {
        XEvent e;
        XNextEvent(s.display, &e);
        if (e.type == MapNotify && e.xmap.event == DefaultRootWindow(s.display))
            s.shown.insert(e.xmap.window);
    }
    return s.shown.size();
}

bool start_tuner(session &s, const std::vector<std::string> &wrapper, std::string &why)
{
    s.audio_path = s.work_dir + "/sound.raw";
    s.output_path = s.work_dir + "/tuner.out";
    std::vector<std::string> argv = wrapper;
    argv.push_back(tuner_path());
    // About one mixer buffer of sleep per buffer written keeps the capture close to real time.
    std::vector<std::string> env = {
        "DISPLAY=:" + std::to_string(s.display_number),
        "SDL_VIDEODRIVER=x11",
        "SDL_AUDIODRIVER=disk",
        "SDL_DISKAUDIOFILE=" + s.audio_path,
        "SDL_DISKAUDIODELAY=23",
    };
    s.tuner = spawn_child(argv, env, s.output_path);
    if (s.tuner < 0) {
        why = "fork failed";
        return false;
    }
    return true;
}

static bool window_pid(Display *d, Window w, pid_t &pid)
{
    Atom net_wm_pid = XInternAtom(d, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char *data = nullptr;
    bool ok = XGetWindowProperty(d, w, net_wm_pid, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                                 &data) == Success &&
              data && items == 1 && format == 32;
    if (ok)
        pid = pid_t(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return ok;
}

// The tuner's viewable top-level window, found by its _NET_WM_PID, and the canvas in
// it; the pointer is put inside, since with no window manager keys reach the window
// under the pointer only.
static bool find_window(session &s)
{
    s.frame = 0;
    s.canvas = 0;
    Window root = DefaultRootWindow(s.display), parent, *children = nullptr;
    unsigned int n = 0;
    if (XQueryTree(s.display, root, &root, &parent, &children, &n)) {
        for (unsigned int i = 0; i < n && !s.frame; i++) {
            pid_t pid;
            XWindowAttributes a;
            if (window_pid(s.display, children[i], pid) && pid == s.tuner &&
                XGetWindowAttributes(s.display, children[i], &a) && a.map_state == IsViewable)
                s.frame = children[i];
        }
        if (children)
            XFree(children);
    }
    if (!s.frame)
        return false;
    Window *inner = nullptr;
    unsigned int m = 0;
    if (XQueryTree(s.display, s.frame, &root, &parent, &inner, &m) && m > 0)
        s.canvas = inner[0];
    if (inner)
        XFree(inner);
    if (!s.canvas)
        s.canvas = s.frame;
    XWarpPointer(s.display, None, s.canvas, 0, 0, 0, 0, 160, 120);
    XSync(s.display, False);
    return true;
}

bool wait_for_window(session &s, double seconds, std::string &why)
{
    double deadline = now_seconds() + seconds * s.slowness;
    while (now_seconds() < deadline) {
        if (!tuner_running(s)) {
            why = "the tuner ended before showing a window (status " + std::to_string(s.exit_status) +
                  "): " + tuner_output(s);
            return false;
        }
        if (find_window(s))
            return true;
        sleep_ms(20);
    }
    why = "no window of the tuner appeared";
    return false;
}

bool open_session(session &s, std::string &why, const std::vector<std::string> &wrapper)
{
    char dir[] = "/tmp/tuner-e2e-XXXXXX";
    if (!mkdtemp(dir)) {
        why = "cannot make a work directory";
        return false;
    }
    s.work_dir = dir;
    return start_x_server(s, why) && start_tuner(s, wrapper, why) && wait_for_window(s, 30, why);
}

void close_session(session &s, bool keep)
{
    if (s.tuner > 0 && tuner_running(s)) {
        kill(s.tuner, SIGKILL);
        waitpid(s.tuner, nullptr, 0);
    }
    s.tuner = -1;
    if (s.display)
        XCloseDisplay(s.display);
    s.display = nullptr;
    if (s.xvfb > 0) {
        kill(s.xvfb, SIGTERM);
        double deadline = now_seconds() + 5;
        while (waitpid(s.xvfb, nullptr, WNOHANG) == 0) {
            if (now_seconds() > deadline) {
                kill(s.xvfb, SIGKILL);
                waitpid(s.xvfb, nullptr, 0);
                break;
            }
            sleep_ms(10);
        }
    }
    s.xvfb = -1;
    if (!keep && !s.work_dir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(s.work_dir, ec);
    }
}

static void send_key(session &s, unsigned long keysym, bool down)
{
    KeyCode code = XKeysymToKeycode(s.display, KeySym(keysym));
    XTestFakeKeyEvent(s.display, code, down ? True : False, CurrentTime);
    XSync(s.display, False);
}

void key_down(session &s, unsigned long keysym)
{
    send_key(s, keysym, true);
}

void key_up(session &s, unsigned long keysym)
{
    send_key(s, keysym, false);
}

void press(session &s, unsigned long keysym, int hold_ms, int gap_ms)
{
    key_down(s, keysym);
    sleep_ms(int(hold_ms * s.slowness));
    key_up(s, keysym);
    sleep_ms(int(gap_ms * s.slowness));
}

// SDL 2, under sdl12-compat, may replace its first window with a new one when it brings
// up its renderer; a slow tuner (under valgrind) does so after the window was found. So
// a canvas that is gone or unmapped is looked for again.
static XImage *get_canvas_image(session &s, XWindowAttributes &a)
{
    for (int attempt = 0; attempt < 2; attempt++) {
        if (attempt > 0 && !find_window(s))
            return nullptr;
        if (XGetWindowAttributes(s.display, s.canvas, &a) && a.map_state == IsViewable)
            if (XImage *img = XGetImage(s.display, s.canvas, 0, 0, unsigned(a.width), unsigned(a.height),
                                        AllPlanes, ZPixmap))
                return img;
    }
    return nullptr;
}

bool capture(session &s, picture &p)
{
    XWindowAttributes a;
    XImage *img = get_canvas_image(s, a);
    if (!img)
        return false;
    bool is565 = img->red_mask == 0xF800 && img->green_mask == 0x07E0 && img->blue_mask == 0x001F;
    if (is565) {
        p.w = a.width;
        p.h = a.height;
        p.px.resize(std::size_t(p.w) * std::size_t(p.h));
        for (int y = 0; y < p.h; y++)
            for (int x = 0; x < p.w; x++)
                p.px[std::size_t(y) * std::size_t(p.w) + std::size_t(x)] = std::uint16_t(XGetPixel(img, x, y));
    }
    XDestroyImage(img);
    return is565;
}

bool capture_until(session &s, picture &p, double seconds, const std::function<bool(const picture &)> &accept)
{
    double deadline = now_seconds() + seconds * s.slowness;
    do {
        if (capture(s, p) && accept(p))
            return true;
    } while (now_seconds() < deadline);
    return false;
}

bool change_volume(session &s, picture &p, unsigned long keysym, int volume)
{
    bool up = keysym == XK_Up;
    int before = up ? volume - 4 : volume + 4;
    for (int attempt = 0; attempt < 4; attempt++) {
        if (attempt > 0) {
            key_down(s, up ? XK_Down : XK_Up);
            capture_until(s, p, 1, [before](const picture &q) { return overlay_shows(q, before); });
            key_up(s, up ? XK_Down : XK_Up);
            sleep_ms(int(30 * s.slowness));
        }
        key_down(s, keysym);
        bool shown = capture_until(s, p, 2, [volume](const picture &q) { return overlay_shows(q, volume); });
        key_up(s, keysym);
        sleep_ms(int(30 * s.slowness));
        if (shown)
            return true;
    }
    return false;
}

void send_close_request(session &s)
{
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = s.frame;
    e.xclient.message_type = XInternAtom(s.display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(s.display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(s.display, s.frame, False, NoEventMask, &e);
    XSync(s.display, False);
}

std::size_t audio_bytes(const session &s)
{
    struct stat st;
    if (stat(s.audio_path.c_str(), &st) != 0)
        return 0;
    return std::size_t(st.st_size) / audio_frame_bytes * audio_frame_bytes;
}

bool wait_audio(const session &s, std::size_t bytes, double seconds)
{
    double deadline = now_seconds() + seconds * s.slowness;
    while (audio_bytes(s) < bytes) {
        if (now_seconds() > deadline)
            return false;
        sleep_ms(10);
    }
    return true;
}

std::vector<unsigned char> read_audio(const session &s, std::size_t from, std::size_t count)
{
    std::ifstream in(s.audio_path, std::ios::binary);
    in.seekg(std::streamoff(from));
    std::vector<unsigned char> raw(count);
    in.read(reinterpret_cast<char *>(raw.data()), std::streamsize(count));
    raw.resize(std::size_t(in.gcount()) / audio_frame_bytes * audio_frame_bytes);
    return raw;
}

static int sample_at(const std::vector<unsigned char> &raw, std::size_t i)
{
    return int(std::int16_t(std::uint16_t(raw[i] | (raw[i + 1] << 8))));
}

int peak_sample(const std::vector<unsigned char> &raw)
{
    int peak = 0;
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
        peak = std::max(peak, std::abs(sample_at(raw, i)));
    return peak;
}

std::size_t end_of_sound(const std::vector<unsigned char> &raw)
{
    for (std::size_t i = raw.size(); i >= 2; i -= 2)
        if (sample_at(raw, i - 2) != 0)
            return i;
    return 0;
}

bool tuner_running(session &s)
{
    if (s.tuner <= 0)
        return false;
    if (s.exit_status >= 0)
        return false;
    int status;
    pid_t r = waitpid(s.tuner, &status, WNOHANG);
    if (r == 0)
        return true;
    if (r == s.tuner)
        s.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
}

bool wait_exit(session &s, double seconds)
{
    double deadline = now_seconds() + seconds * s.slowness;
    while (tuner_running(s)) {
        if (now_seconds() > deadline)
            return false;
        sleep_ms(10);
    }
    return true;
}

std::string tuner_output(const session &s)
{
    std::ifstream in(s.output_path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
