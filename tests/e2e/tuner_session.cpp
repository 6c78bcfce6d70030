// One scripted session of the real tuner in a private X server, as a player would
// have it: credits cut short with Return, a string chosen, its note played, the volume
// raised and lowered, Tab to quit.
//
//   tuner-session --demo DIR        keeps pictures of the session and a WAV of its sound in DIR
//   tuner-session --valgrind SUPP   runs the tuner under valgrind's memcheck with the
//                                   suppressions in SUPP; fails on any error or any
//                                   definite leak
//
// Every step waits for the screen to show its effect, so the same script runs at full
// speed and under valgrind, many times slower.
#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "e2e/session.h"

namespace {

std::string demo_dir;

bool fail(session &s, const std::string &why)
{
    std::fprintf(stderr, "tuner-session: %s\n", why.c_str());
    if (!s.work_dir.empty())
        std::fprintf(stderr, "tuner-session: the tuner said:\n%s\n", tuner_output(s).c_str());
    return false;
}

void keep_picture(const picture &p, const char *name)
{
    if (demo_dir.empty())
        return;
    std::string path = demo_dir + "/" + name;
    if (!save_png(p, path))
        std::fprintf(stderr, "tuner-session: cannot write %s\n", path.c_str());
    else
        std::printf("wrote %s\n", path.c_str());
}

void put_le(std::ofstream &out, unsigned value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out.put(char((value >> (8 * i)) & 0xFF));
}

bool keep_sound(const std::vector<unsigned char> &raw, const char *name)
{
    std::string path = demo_dir + "/" + name;
    std::ofstream out(path, std::ios::binary);
    unsigned size = unsigned(raw.size());
    out.write("RIFF", 4);
    put_le(out, 36 + size, 4);
    out.write("WAVEfmt ", 8);
    put_le(out, 16, 4);      // format chunk size
    put_le(out, 1, 2);       // PCM
    put_le(out, 2, 2);       // channels
    put_le(out, 44100, 4);   // frames per second
    put_le(out, 44100 * 4, 4);
    put_le(out, 4, 2);       // bytes per frame
    put_le(out, 16, 2);      // bits per sample
    out.write("data", 4);
    put_le(out, size, 4);
    out.write(reinterpret_cast<const char *>(raw.data()), std::streamsize(raw.size()));
    if (!out)
        return false;
    std::printf("wrote %s\n", path.c_str());
    return true;
}

int marker_x(int s) { return 294 - 40 * s + (s - 1) / 2; }

bool select_string(session &s, unsigned long keysym, int expected, picture &p)
{
    key_down(s, keysym);
    bool ok = capture_until(s, p, 5, [&](const picture &q) { return find_marker(q) == marker_x(expected); });
    key_up(s, keysym);
    sleep_ms(int(30 * s.slowness));
    return ok;
}

bool run_script(session &s)
{
    picture p;
    if (!capture_until(s, p, 60, [](const picture &q) { return check_credits(q).empty(); }))
        return fail(s, "no credits: " + check_credits(p));
    keep_picture(p, "credits.png");

    key_down(s, XK_Return);
    bool tuner = capture_until(s, p, 30, [](const picture &q) { return check_tuner_view(q, 1, 0).empty(); });
    key_up(s, XK_Return);
    if (!tuner)
        return fail(s, "no tuner view after Return: " + check_tuner_view(p, 1, 0));
    keep_picture(p, "tuner.png");

    // The A string, four to the left of the high e.
    for (int string_number = 2; string_number <= 5; string_number++)
        if (!select_string(s, XK_Left, string_number, p))
            return fail(s, "Left did not select string " + std::to_string(string_number));

    std::size_t sound_from = audio_bytes(s);
    key_down(s, XK_Control_L);
    // A picture where the shaking string stands well away from its rest position.
    bool shaking = capture_until(s, p, 10, [](const picture &q) {
        if (!check_tuner_view(q, 5, 5).empty())
            return false;
        for (const stripe &st : find_stripes(q))
            if (st.w == 8 && std::abs(st.x - 100) >= 8)
                return true;
        return false;
    });
    key_up(s, XK_Control_L);
    if (!shaking)
        return fail(s, "the A string does not shake after Left Ctrl: " + check_tuner_view(p, 5, 5));
    keep_picture(p, "playing.png");
    sleep_ms(int(40 * s.slowness));

    // Let the note ring, then raise the volume while it sounds.
    if (!wait_audio(s, sound_from + std::size_t(2.0 * audio_rate) * audio_frame_bytes, 30))
        return fail(s, "the sound capture does not grow");
    if (!change_volume(s, p, XK_Up, 68))
        return fail(s, "no volume overlay after Up");
    keep_picture(p, "volume.png");
    std::size_t sound_to = audio_bytes(s) + std::size_t(1.0 * audio_rate) * audio_frame_bytes;
    if (!wait_audio(s, sound_to, 30))
        return fail(s, "the sound capture does not grow");

    // Down, and Right, which halts the note, before quitting.
    if (!change_volume(s, p, XK_Down, 64))
        return fail(s, "no volume overlay after Down");
    if (!select_string(s, XK_Right, 4, p))
        return fail(s, "Right did not select string 4");

    press(s, XK_Tab);
    if (!wait_exit(s, 60))
        return fail(s, "Tab did not end the tuner");
    if (s.exit_status != 0)
        return fail(s, "the tuner ended with status " + std::to_string(s.exit_status));

    if (!demo_dir.empty() && !keep_sound(read_audio(s, sound_from, sound_to - sound_from), "notes.wav"))
        return fail(s, "cannot write the sound");
    return true;
}

// The lines of valgrind's log that sum up the run.
void print_summary(const std::string &log_path)
{
    std::ifstream in(log_path);
    std::string line;
    bool leak_summary = false;
    while (std::getline(in, line)) {
        std::size_t body = line.find("== ");
        std::string text = body == std::string::npos ? line : line.substr(body + 3);
        if (text.find("LEAK SUMMARY") != std::string::npos)
            leak_summary = true;
        if (leak_summary || text.find("ERROR SUMMARY") != std::string::npos ||
            text.find("in use at exit") != std::string::npos || text.find("heap usage") != std::string::npos)
            std::printf("memcheck: %s\n", text.c_str());
        if (text.empty())
            leak_summary = false;
    }
}

} // namespace

int main(int argc, char **argv)
{
    session s;
    std::vector<std::string> wrapper;
    std::string valgrind_log;
    if (argc == 3 && std::strcmp(argv[1], "--demo") == 0) {
        demo_dir = argv[2];
    } else if (argc == 3 && std::strcmp(argv[1], "--valgrind") == 0) {
        s.slowness = 20;
    } else {
        std::fprintf(stderr, "usage: tuner-session --demo DIR | --valgrind SUPPRESSIONS\n");
        return 2;
    }

    std::string why;
    if (s.slowness > 1) {
        // The work directory is made by open_session; valgrind writes its log there.
        char dir[] = "/tmp/tuner-memcheck-XXXXXX";
        if (!mkdtemp(dir))
            return fail(s, "cannot make a directory for valgrind's log"), 1;
        valgrind_log = std::string(dir) + "/memcheck.log";
        wrapper = {"valgrind", "--tool=memcheck", "--error-exitcode=99", "--leak-check=full",
                   "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite",
                   "--track-origins=yes", "--num-callers=40", std::string("--suppressions=") + argv[2],
                   "--gen-suppressions=all", "--log-file=" + valgrind_log};
    }
    bool ok = open_session(s, why, wrapper) || fail(s, why);
    ok = ok && run_script(s);
    if (!valgrind_log.empty()) {
        print_summary(valgrind_log);
        if (ok) {
            std::error_code ec;
            std::filesystem::remove_all(std::filesystem::path(valgrind_log).parent_path(), ec);
        } else {
            std::printf("memcheck: full log in %s\n", valgrind_log.c_str());
        }
    }
    close_session(s, !ok);
    return ok ? 0 : 1;
}
