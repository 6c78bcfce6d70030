// The handheld build in an emulated handheld: a MIPS machine with a frame buffer, an
// ES1370 sound card behind OSS and a keyboard on the console, driven from the host
// through qemu's monitor as a player would press the buttons.
//
//   device-session [--pictures DIR]   the scripted session; DIR keeps its screen dumps
//   device-session --no-sound         a boot without the sound modules: the tuner must
//                                     say why it cannot start and end with status 1
//
// The emulated ES1370 now and then stops taking samples, and SDL then reports "Audio
// write:" and EIO's text. A session whose only faults are in the sound and whose
// serial line shows that report is run again, at most twice, and every rerun is told.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/tuner_state.h"
#include "device/machine.h"
#include "gfx/draw.h"
#include "support/audio_analysis.h"
#include "support/clip_follow.h"

#ifndef TUNER_HANDHELD_EXE
#error "TUNER_HANDHELD_EXE must name the handheld executable"
#endif
#ifndef TUNER_ASSET_DIR
#error "TUNER_ASSET_DIR must name the directory of the notes"
#endif

namespace {

// SDL's report of the failed write, with EIO's text as glibc and as musl (the handheld
// build's C library) spell it.
const char *const stall_reports[] = {"Audio write: Input/output error", "Audio write: I/O error"};
const double e4_hz = 440.0 * std::pow(2.0, -5.0 / 12.0);
std::string pictures_dir;

struct attempt {
    std::vector<std::string> faults;
    bool only_sound = true; // every fault is in what was heard
    double to_credits = -1; // seconds from launching qemu to the credits on screen
};

void fault(attempt &a, bool sound, const std::string &why)
{
    std::printf("device-session: FAULT: %s\n", why.c_str());
    a.faults.push_back(why);
    a.only_sound = a.only_sound && sound;
}

void keep_picture(const picture &p, const char *name)
{
    if (!pictures_dir.empty() && save_png(p, pictures_dir + "/" + name))
        std::printf("device-session: wrote %s/%s\n", pictures_dir.c_str(), name);
}

std::size_t seconds_of_sound(double seconds)
{
    return std::size_t(seconds * sound_rate) * sound_frame_bytes;
}

// The credits exactly as the desktop build draws them: the tuner's own drawing code on
// SDL's dummy display, Return held so that the wait ends at its first poll.
picture desktop_credits()
{
    picture p;
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return p;
    SDL_ShowCursor(SDL_DISABLE); // as the tuner does: SDL would draw its own pointer
    screen = SDL_SetVideoMode(screen_w, screen_h, screen_bpp, SDL_SWSURFACE);
    if (screen) {
        SDL_GetKeyState(nullptr)[SDLK_RETURN] = 1;
        credits_screen(28, 88);
        p.w = screen_w;
        p.h = screen_h;
        for (int y = 0; y < p.h; y++) {
            const Uint8 *row = static_cast<const Uint8 *>(screen->pixels) + y * screen->pitch;
            const auto *pixels = reinterpret_cast<const std::uint16_t *>(row);
            p.px.insert(p.px.end(), pixels, pixels + p.w);
        }
    }
    SDL_Quit();
    return p;
}

std::string compare(const picture &expected, const picture &got)
{
    if (got.w != expected.w || got.h != expected.h)
        return "the screen is " + std::to_string(got.w) + " x " + std::to_string(got.h);
    int differ = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < got.px.size(); i++)
        if (got.px[i] != expected.px[i] && !differ++)
            first = i;
    if (!differ)
        return "";
    return std::to_string(differ) + " pixels differ from the desktop's, the first at (" +
           std::to_string(first % std::size_t(got.w)) + ", " + std::to_string(first / std::size_t(got.w)) + ")";
}

// The noise field left of the first column: dim, and made of many colours.
std::string check_noise(const picture &p)
{
    std::string why;
    if (!background_dim(p, why))
        return why;
    std::set<std::uint16_t> colours;
    for (int y = 0; y < p.h; y++)
        for (int x = 0; x < 56; x++)
            colours.insert(at(p, x, y));
    return colours.size() > 1000 ? "" : "only " + std::to_string(colours.size()) + " colours in the noise field";
}

void check_sound(machine &m, attempt &a, std::size_t note_from)
{
    std::vector<std::int16_t> raw = read_sound(m, note_from, sound_bytes(m) - note_from);
    std::vector<float> left(raw.size() / 2);
    for (std::size_t i = 0; i < left.size(); i++)
        left[i] = float(raw[2 * i]) / 32768.0f;
    std::size_t onset = find_onset(left.data(), left.size(), -60.0);
    if (onset + std::size_t(3.0 * sound_rate) > left.size())
        return fault(a, true, "less than 3 s of the note was captured");
    double hz = estimate_fundamental(left, sound_rate, onset, e4_hz);
    double cents = cents_between(hz, e4_hz);
    std::printf("device-session: the note: %.4f Hz, E4 is %.4f Hz: %+.4f cents\n", hz, e4_hz, cents);
    if (std::fabs(cents) > 0.1)
        fault(a, true, "the note is " + std::to_string(cents) + " cents from E4");
    // The tuner plays at its start volume, 64 of 128.
    std::vector<int> note = played_note(TUNER_ASSET_DIR "/s1e.ogg", 64);
    if (note.empty())
        return fault(a, true, "cannot decode " TUNER_ASSET_DIR "/s1e.ogg");
    double seconds = follows_note_seconds(left, onset, note, sound_rate);
    std::printf("device-session: the capture follows the clip for %.2f s from its start\n", seconds);
    if (seconds < 3.0)
        fault(a, true, "the note is continuous for only " + std::to_string(seconds) + " s");
}

// One boot and the whole script; the machine is off when it returns.
attempt run_session(machine &m, const picture &credits)
{
    attempt a;
    std::string why;
    picture p;
    if (!boot(m, true, why)) {
        fault(a, false, why);
        return a;
    }
    auto give_up = [&](const std::string &what) {
        fault(a, false, what);
        if (!p.px.empty())
            save_png(p, m.dir + "/last-screen.png");
        quit_machine(m);
        return a;
    };

    if (!dump_until(m, p, 120, [&](const picture &q) { return compare(credits, q).empty(); }))
        return give_up("no credits as on the desktop: " + compare(credits, p) + "; " + check_credits(p));
    a.to_credits = now_seconds() - m.launched;
    std::printf("device-session: credits on the screen %.1f s after launch\n", a.to_credits);
    keep_picture(p, "credits.png");

    sendkey(m, "ret");
    if (!dump_until(m, p, 30, [](const picture &q) { return check_tuner_view(q, 1, 0).empty(); }))
        return give_up("no tuner view after Return: " + check_tuner_view(p, 1, 0));
    if (std::string noise = check_noise(p); !noise.empty())
        return give_up(noise);
    keep_picture(p, "tuner.png");

    // Left Ctrl: string 1 shakes, seen at two places or more.
    std::size_t note_from = sound_bytes(m);
    sendkey(m, "ctrl");
    std::set<int> places;
    dump_until(m, p, 30, [&](const picture &q) {
        if (!check_tuner_view(q, 1, 1).empty())
            return false;
        for (const stripe &st : find_stripes(q))
            if (st.w == 4 && st.x >= 244 && st.x <= 275)
                places.insert(st.x);
        return places.size() >= 2;
    });
    if (places.size() < 2)
        return give_up("string 1 does not shake after Left Ctrl: " + check_tuner_view(p, 1, 1));
    keep_picture(p, "playing.png");

    // Long enough a note to measure; a card that stops playing has stalled.
    if (!wait_sound(m, note_from + seconds_of_sound(4.5), 5))
        fault(a, true, "the sound card stopped playing");

    // Left: the marker under string 2, no string shaking, and the sound gone.
    sendkey(m, "left");
    if (!dump_until(m, p, 30, [](const picture &q) { return check_tuner_view(q, 2, 0).empty(); }))
        return give_up("Left did not move the marker to string 2: " + check_tuner_view(p, 2, 0));
    std::size_t seen = sound_bytes(m);
    if (!wait_sound(m, seen + seconds_of_sound(1.5), 5)) {
        fault(a, true, "the sound card stopped playing after Left");
    } else {
        // Past what the kernel's and SDL's buffers still held when the marker moved.
        std::vector<std::int16_t> after = read_sound(m, seen + seconds_of_sound(0.5), seconds_of_sound(1.0));
        if (std::any_of(after.begin(), after.end(), [](std::int16_t v) { return v != 0; }))
            fault(a, true, "the note still sounds after Left");
    }

    sendkey(m, "up");
    if (!dump_until(m, p, 30, [](const picture &q) { return overlay_shows(q, 68); }))
        return give_up("no volume overlay at 17 after Up: " + std::to_string(read_overlay(p).segments) +
                       " segments");
    keep_picture(p, "volume.png");

    sendkey(m, "tab");
    if (!wait_poweroff(m, 60))
        return give_up("the machine did not power off after Tab");
    std::string log = serial_log(m);
    if (log.find("init: the tuner ended with status 0") == std::string::npos)
        fault(a, false, "the tuner did not end with status 0");
    if (m.exit_status != 0)
        fault(a, false, "qemu ended with status " + std::to_string(m.exit_status));
    if (!sound_file_complete(m))
        fault(a, false, "qemu left the WAV file unfinished");
    check_sound(m, a, note_from);
    return a;
}

// The tuner on a machine without sound: the line and the status on the serial line.
int no_sound(machine &m)
{
    std::string why;
    if (!boot(m, false, why)) {
        std::printf("device-session: FAULT: %s\n", why.c_str());
        return 1;
    }
    bool off = wait_poweroff(m, 120);
    if (!off)
        quit_machine(m);
    std::string log = serial_log(m);
    std::size_t line = log.find("Error initializing SDL_mixer: ");
    std::size_t status = log.find("init: the tuner ended with status 1");
    if (line != std::string::npos)
        std::printf("device-session: %s\n", log.substr(line, log.find('\n', line) - line).c_str());
    bool ok = off && line != std::string::npos && status != std::string::npos && line < status;
    if (!ok)
        std::printf("device-session: FAULT: without sound the tuner did not say so and end with status 1; "
                    "the machine's files are in %s\n",
                    m.dir.c_str());
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    bool sound = true;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--no-sound") == 0) {
            sound = false;
        } else if (std::strcmp(argv[i], "--pictures") == 0 && i + 1 < argc) {
            pictures_dir = argv[++i];
            std::filesystem::create_directories(pictures_dir);
        } else {
            std::fprintf(stderr, "usage: device-session [--pictures DIR] | --no-sound\n");
            return 2;
        }
    }
    double started = now_seconds();
    char dir[] = "/tmp/tuner-device-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    machine m;
    m.dir = dir;
    std::string why;
    long size = build_initramfs(m.dir, TUNER_HANDHELD_EXE, why);
    if (!size) {
        std::printf("device-session: FAULT: %s\n", why.c_str());
        return 1;
    }
    std::printf("device-session: initramfs %ld bytes (%.2f MiB)\n", size, double(size) / 1048576.0);

    int status;
    if (!sound) {
        status = no_sound(m);
    } else {
        picture credits = desktop_credits();
        if (credits.px.empty()) {
            std::printf("device-session: FAULT: cannot draw the desktop's credits\n");
            return 1;
        }
        for (int run = 1;; run++) {
            attempt a = run_session(m, credits);
            std::string log = serial_log(m);
            const char *stalled = nullptr;
            for (const char *report : stall_reports)
                if (log.find(report) != std::string::npos)
                    stalled = report;
            if (a.faults.empty()) {
                status = 0;
                if (stalled)
                    std::printf("device-session: the sound card stalled, after the note was heard\n");
                std::printf("device-session: passed; reruns: %d\n", run - 1);
                break;
            }
            if (!stalled || !a.only_sound || run == 3) {
                status = 1;
                if (stalled)
                    std::printf("device-session: the serial line reports \"%s\" too\n", stalled);
                std::printf("device-session: failed; the machine's files are in %s\n", m.dir.c_str());
                break;
            }
            std::printf("device-session: RERUN %d: the emulated ES1370 stalled (\"%s\") and only the sound "
                        "failed\n",
                        run, stalled);
        }
    }
    std::printf("device-session: whole run %.1f s\n", now_seconds() - started);
    if (status == 0) {
        std::error_code ec;
        std::filesystem::remove_all(m.dir, ec);
    }
    return status;
}
