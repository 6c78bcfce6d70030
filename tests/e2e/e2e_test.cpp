// The real tuner in a real X server: keys pressed through XTEST, the window read back
// through XGetImage, the sound captured by SDL's disk audio driver. Every expectation
// comes from the tuner's documented numbers: positions, colours, pitches, volumes.
#include <X11/keysym.h>
#include <signal.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "e2e/session.h"
#include "support/audio_analysis.h"

namespace {

// String number to its marker's left edge and its column's rest position.
int marker_x(int s) { return 294 - 40 * s + (s - 1) / 2; }
int rest_x(int s) { return 300 - 40 * s; }

// Equal temperament, A4 = 440 Hz: E4, B3, G3, D3, A2, E2 for strings 1 to 6.
double string_hz(int s)
{
    static const int semitones_from_a4[7] = {0, -5, -10, -14, -19, -24, -29};
    return 440.0 * std::pow(2.0, semitones_from_a4[s] / 12.0);
}

std::size_t seconds_of_audio(double seconds)
{
    return std::size_t(seconds * audio_rate) * audio_frame_bytes;
}

bool is_credits(const picture &p) { return check_credits(p).empty(); }
bool is_tuner_view(const picture &p) { return find_stripes(p).size() == 6 && find_marker(p) >= 0; }

class Tuner : public ::testing::Test {
protected:
    session s;
    picture p;

    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(open_session(s, why)) << why;
    }

    void TearDown() override
    {
        bool failed = HasFailure();
        if (failed && s.display && !p.px.empty())
            save_png(p, s.work_dir + "/last-capture.png");
        if (failed)
            std::printf("kept %s; tuner said: %s\n", s.work_dir.c_str(), tuner_output(s).c_str());
        close_session(s, failed);
    }

    void wait_credits()
    {
        bool shown = capture_until(s, p, 30, is_credits);
        ASSERT_TRUE(shown) << check_credits(p);
    }

    // Return held through the end of the credits, as a player cuts them short.
    void skip_credits()
    {
        wait_credits();
        key_down(s, XK_Return);
        bool tuner = capture_until(s, p, 5, is_tuner_view);
        key_up(s, XK_Return);
        ASSERT_TRUE(tuner) << check_tuner_view(p, 1, 0);
    }

    // Presses a key and waits until the marker stands on string `expected`.
    void move_to(unsigned long keysym, int expected)
    {
        key_down(s, keysym);
        bool moved = capture_until(s, p, 3, [&](const picture &q) { return find_marker(q) == marker_x(expected); });
        key_up(s, keysym);
        sleep_ms(30);
        ASSERT_TRUE(moved) << "string " << expected << " not selected: " << check_tuner_view(p, expected, 0);
        EXPECT_EQ(check_tuner_view(p, expected, 0), "");
    }

    // While string `playing` sounds, its column is drawn at a new offset every pass:
    // several captures show it at two or more places, always within 16 left to 15
    // right of its rest position, and never does a column stand at rest meanwhile
    // unless the offset happened to be zero.
    void expect_shaking(int playing)
    {
        std::set<int> places;
        for (int i = 0; i < 40 && places.size() < 3; i++) {
            ASSERT_TRUE(capture(s, p));
            ASSERT_EQ(check_tuner_view(p, playing, playing), "");
            for (const stripe &st : find_stripes(p))
                if (st.w == playing + 3 && std::abs(st.x - rest_x(playing)) <= 16)
                    places.insert(st.x);
            sleep_ms(5);
        }
        EXPECT_GE(places.size(), 2u) << "string " << playing << " does not shake";
    }

    // Plays the selected string and measures the note's fundamental in the capture.
    double play_and_measure(int selected)
    {
        std::size_t start = audio_bytes(s);
        key_down(s, XK_Control_L);
        expect_shaking(selected);
        key_up(s, XK_Control_L);
        const double length = 3.0; // the pitch window: 2.5 s from 0.15 s after the pluck
        EXPECT_TRUE(wait_audio(s, start + seconds_of_audio(length), 20));
        std::vector<unsigned char> raw = read_audio(s, start, seconds_of_audio(length));
        std::vector<float> x = s16le_to_float(raw.data(), raw.size(), 2);
        std::size_t onset = find_onset(x.data(), x.size());
        EXPECT_LT(double(onset) / audio_rate, 0.25) << "the note did not start at once";
        if (onset >= x.size())
            return 0;
        return estimate_fundamental(x, audio_rate, onset, string_hz(selected));
    }
};

TEST_F(Tuner, CreditsShowTitleInItsColourForAbout5SecondsThenTheTuner)
{
    wait_credits();
    double shown = now_seconds();
    // 241 polls of at least 20 ms each: after 4 s the credits are certainly still up.
    sleep_ms(4000);
    ASSERT_TRUE(capture(s, p));
    EXPECT_EQ(check_credits(p), "");
    EXPECT_TRUE(capture_until(s, p, 15, is_tuner_view));
    double lasted = now_seconds() - shown;
    std::printf("credits lasted %.2f s\n", lasted);
    EXPECT_GT(lasted, 4.8);
    EXPECT_EQ(check_tuner_view(p, 1, 0), "");
}

TEST_F(Tuner, ReturnCutsTheCreditsShort)
{
    wait_credits();
    double shown = now_seconds();
    key_down(s, XK_Return);
    bool tuner = capture_until(s, p, 10, is_tuner_view);
    key_up(s, XK_Return);
    ASSERT_TRUE(tuner);
    double lasted = now_seconds() - shown;
    std::printf("credits cut short after %.2f s\n", lasted);
    EXPECT_LT(lasted, 2.0);
}

TEST_F(Tuner, SixColumnsAndTheMarkerOverADimScrollingField)
{
    ASSERT_NO_FATAL_FAILURE(skip_credits());
    ASSERT_TRUE(capture(s, p));
    EXPECT_EQ(check_tuner_view(p, 1, 0), "");
    std::string why;
    EXPECT_TRUE(background_dim(p, why)) << why;

    // Left of the first column only the field shows: each later capture holds the same
    // rows turned round by some number of rows, and the field does move.
    picture first = p;
    bool moved = false;
    for (int n = 0; n < 5; n++) {
        sleep_ms(37);
        ASSERT_TRUE(capture(s, p));
        int shift = -1;
        for (int k = 0; k < 240 && shift < 0; k++) {
            bool same = true;
            for (int y = 0; y < 240 && same; y++)
                for (int x = 0; x < 56 && same; x++)
                    same = at(first, x, y) == at(p, x, (y + k) % 240);
            if (same)
                shift = k;
        }
        ASSERT_GE(shift, 0) << "the field is not the same field turned round";
        moved = moved || shift > 0;
    }
    EXPECT_TRUE(moved);
}

TEST_F(Tuner, LeftAndRightMoveTheMarkerAndWrapAround)
{
    ASSERT_NO_FATAL_FAILURE(skip_credits());
    for (int expected = 2; expected <= 6; expected++)
        ASSERT_NO_FATAL_FAILURE(move_to(XK_Left, expected));
    ASSERT_NO_FATAL_FAILURE(move_to(XK_Left, 1));
    ASSERT_NO_FATAL_FAILURE(move_to(XK_Right, 6));
    ASSERT_NO_FATAL_FAILURE(move_to(XK_Right, 5));
}

// Each string in turn: Left Ctrl plays it, the capture's fundamental is its pitch, and
// Left to the next string silences it at once.
TEST_F(Tuner, EveryStringSoundsInTuneAndAChangeOfStringSilencesIt)
{
    ASSERT_NO_FATAL_FAILURE(skip_credits());
    for (int string_number = 1; string_number <= 6; string_number++) {
        double hz = play_and_measure(string_number);
        double cents = cents_between(hz, string_hz(string_number));
        std::printf("string %d: %.4f Hz, expected %.4f Hz: %+.3f cents\n", string_number, hz,
                    string_hz(string_number), cents);
        RecordProperty("string_" + std::to_string(string_number) + "_cents", std::to_string(cents));
        EXPECT_LE(std::fabs(cents), 1.0) << "string " << string_number;
        if (string_number == 6)
            break;

        // The halt comes in the pass that moves the marker. By the time the marker is
        // seen to move, at most the buffer being written then can still hold sound.
        std::size_t before = audio_bytes(s);
        ASSERT_GT(peak_sample(read_audio(s, before - 2 * audio_buffer_bytes, 2 * audio_buffer_bytes)), 0)
            << "string " << string_number << " fell silent by itself";
        key_down(s, XK_Left);
        bool moved = capture_until(s, p, 3, [&](const picture &q) {
            return find_marker(q) == marker_x(string_number + 1);
        });
        std::size_t seen = audio_bytes(s);
        key_up(s, XK_Left);
        ASSERT_TRUE(moved) << check_tuner_view(p, string_number + 1, 0);
        ASSERT_TRUE(wait_audio(s, seen + seconds_of_audio(0.5), 10));
        std::vector<unsigned char> raw = read_audio(s, before, seen + seconds_of_audio(0.5) - before);
        std::size_t sound_until = before + end_of_sound(raw);
        EXPECT_LE(sound_until, seen + 2 * audio_buffer_bytes)
            << "string " << string_number << " still sounds "
            << double(sound_until - seen) / audio_frame_bytes / audio_rate * 1000 << " ms after the change";
    }
}

TEST_F(Tuner, UpShowsTheVolumeOverlayOverTheTunerView)
{
    ASSERT_NO_FATAL_FAILURE(skip_credits());
    ASSERT_TRUE(change_volume(s, p, XK_Up, 68)) << read_overlay(p).segments << " segments";
    // 64 + 4: "17" ending at x 18 and 17 segments, the top one at y 115.
    overlay o = read_overlay(p);
    EXPECT_EQ(o.segments, 17);
    EXPECT_TRUE(all_of(p, 24, 115, 16, 5, white565));
    EXPECT_TRUE(o.cell_x3);
    EXPECT_TRUE(o.cell_x11);
    EXPECT_FALSE(o.stray_text);
    EXPECT_EQ(check_tuner_view(p, 1, 0), "");
    // 240 passes later it is gone.
    EXPECT_TRUE(capture_until(s, p, 10, [](const picture &q) { return !read_overlay(q).present; }));
    EXPECT_EQ(check_tuner_view(p, 1, 0), "");
}

TEST_F(Tuner, DownToVolumeZeroSilencesTheNoteAndUpBringsItBack)
{
    ASSERT_NO_FATAL_FAILURE(skip_credits());
    for (int volume = 60; volume >= 0; volume -= 4)
        ASSERT_TRUE(change_volume(s, p, XK_Down, volume))
            << "volume " << volume << ": " << read_overlay(p).segments << " segments";

    // The note plays (its string shakes) but nothing is heard.
    std::size_t start = audio_bytes(s);
    key_down(s, XK_Control_L);
    expect_shaking(1);
    key_up(s, XK_Control_L);
    ASSERT_TRUE(wait_audio(s, start + seconds_of_audio(1.0), 10));
    EXPECT_EQ(peak_sample(read_audio(s, start, seconds_of_audio(1.0))), 0);

    // Up to volume 4 of the mixer's 128: the note comes back at no more than 4/128 of
    // full scale.
    ASSERT_TRUE(change_volume(s, p, XK_Up, 4)) << read_overlay(p).segments << " segments";
    std::size_t seen = audio_bytes(s);
    std::size_t from = seen + 2 * audio_buffer_bytes;
    ASSERT_TRUE(wait_audio(s, from + seconds_of_audio(1.0), 10));
    int peak = peak_sample(read_audio(s, from, seconds_of_audio(1.0)));
    std::printf("peak after Up to volume 4: %d of 32768\n", peak);
    EXPECT_GT(peak, 0);
    EXPECT_LE(peak, 32768 * 4 / 128);
}

// The libraries of an OpenGL stack mapped into a process: the GL dispatch and Mesa's
// drivers, and LLVM, which Mesa's software rasteriser compiles with.
std::vector<std::string> gl_libraries(pid_t pid)
{
    static const char *const marks[] = {"/libGL", "/libEGL", "/libLLVM", "/libgallium", "/libglapi", "/dri/",
                                        "_dri.so"};
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::set<std::string> found;
    std::string line;
    while (std::getline(maps, line)) {
        std::size_t slash = line.find('/');
        if (slash == std::string::npos)
            continue;
        std::string path = line.substr(slash);
        for (const char *mark : marks)
            if (path.find(mark) != std::string::npos)
                found.insert(path);
    }
    return {found.begin(), found.end()};
}

// A 320 x 240 software picture needs no OpenGL. On sdl12-compat an accelerated renderer
// would load Mesa and LLVM and replace the first window with one of a GL visual; the
// tuner asks SDL 2 for its software renderer, so after a second of passes there is no GL
// library in the process and the window it showed first is the only one.
TEST_F(Tuner, OneWindowAndNoOpenGLLibraryInTheProcess)
{
    ASSERT_NO_FATAL_FAILURE(skip_credits());
    sleep_ms(1000);
    ASSERT_TRUE(tuner_running(s));
    std::vector<std::string> gl = gl_libraries(s.tuner);
    std::string names;
    for (const std::string &path : gl)
        names += " " + path;
    EXPECT_TRUE(gl.empty()) << "mapped:" << names;
    EXPECT_EQ(windows_shown(s), 1u);
    // And that window is the one showing the picture.
    ASSERT_TRUE(capture(s, p));
    EXPECT_EQ(check_tuner_view(p, 1, 0), "");
}

TEST_F(Tuner, TabEndsTheProgramWithStatusZero)
{
    ASSERT_NO_FATAL_FAILURE(skip_credits());
    ASSERT_TRUE(tuner_running(s));
    press(s, XK_Tab);
    ASSERT_TRUE(wait_exit(s, 10));
    EXPECT_EQ(s.exit_status, 0) << tuner_output(s);
}

TEST_F(Tuner, AWindowCloseRequestLeavesItRunning)
{
    ASSERT_NO_FATAL_FAILURE(skip_credits());
    send_close_request(s);
    sleep_ms(500);
    ASSERT_TRUE(tuner_running(s));
    // Still listening to the keys.
    ASSERT_NO_FATAL_FAILURE(move_to(XK_Left, 2));
    press(s, XK_Tab);
    ASSERT_TRUE(wait_exit(s, 10));
    EXPECT_EQ(s.exit_status, 0);
}

TEST_F(Tuner, SigtermWhileANotePlaysEndsItCleanly)
{
    ASSERT_NO_FATAL_FAILURE(skip_credits());
    key_down(s, XK_Control_L);
    expect_shaking(1);
    key_up(s, XK_Control_L);
    kill(s.tuner, SIGTERM);
    ASSERT_TRUE(wait_exit(s, 10));
    EXPECT_EQ(s.exit_status, 0) << tuner_output(s);
}

TEST_F(Tuner, SigtermDuringTheCreditsEndsItCleanly)
{
    ASSERT_NO_FATAL_FAILURE(wait_credits());
    kill(s.tuner, SIGTERM);
    ASSERT_TRUE(wait_exit(s, 3));
    EXPECT_EQ(s.exit_status, 0) << tuner_output(s);
}

// On a desktop's screen the window is as large as a whole scale lets it be within about
// two thirds of the screen: on 1920 x 1080, 3, each pixel a sharp 3 x 3 block. SDL 1.2.15
// cannot scale, and its window stays 320 x 240. Read back block by block, it is the
// tuner's own picture: the credits, then the tuner view. The scaling is SDL 2's software
// renderer's: still no GL library, and one window.
TEST(Window, OnAFullHdScreenItIsScaledByAWholeNumberInSharpBlocks)
{
    const int scale = std::string(TUNER_SDL_VERSION) == "1.2.15" ? 1 : 3;
    session s;
    s.screen = "1920x1080x16";
    picture big, p;
    std::string why;
    ASSERT_TRUE(open_session(s, why)) << why;
    auto shows = [&](bool (*is)(const picture &)) {
        return capture_until(s, big, 30, [&](const picture &q) { return scale_down(q, scale, p, why) && is(p); });
    };
    EXPECT_TRUE(shows(is_credits)) << why;
    key_down(s, XK_Return);
    EXPECT_TRUE(shows(is_tuner_view)) << why;
    key_up(s, XK_Return);
    std::printf("the window on a 1920 x 1080 screen: %d x %d\n", big.w, big.h);
    // Scaled by SDL 2's software renderer: still no GL, and the one window.
    EXPECT_TRUE(gl_libraries(s.tuner).empty());
    EXPECT_EQ(windows_shown(s), 1u);
    if (HasFailure() && !big.px.empty())
        save_png(big, s.work_dir + "/last-capture.png");
    close_session(s, HasFailure());
}

} // namespace
