// The string model behind the notes, rendered short and unencoded: its tuning holds at
// any pitch and any damping, and its loss filter gives the decay times it is asked for.
#include "support/audio_analysis.h"
#include "synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

static const double rate = 44100.0;

static double twelve_tet(int midi_note)
{
    return 440.0 * std::pow(2.0, (midi_note - 69) / 12.0);
}

// Measured fundamental of a 2.7 s pluck, in cents from `hz`.
static double tuning_error(double hz, double t60, double t60_treble, double pick, double brightness,
                           double detune)
{
    const std::vector<float> x = render_pluck(hz, 2.7, t60, t60_treble, pick, brightness, detune, 7);
    const std::size_t onset = find_onset(x.data(), x.size(), -60.0);
    return cents_between(estimate_fundamental(x, rate, onset, hz), hz);
}

TEST(Clipgen, StringPitchesAreEqualTemperament)
{
    const int notes[6] = {64, 59, 55, 50, 45, 40};
    for (int s = 1; s <= 6; s++)
        EXPECT_NEAR(string_hz(s), twelve_tet(notes[s - 1]), 1e-9) << "string " << s;
    EXPECT_NEAR(string_hz(5), 110.0, 1e-9);
    EXPECT_NEAR(string_hz(6), 82.4069, 5e-5);
    EXPECT_NEAR(string_hz(1), 329.6276, 5e-5);
}

TEST(Clipgen, InTuneAtAnyPitch)
{
    // Guitar pitches and others: round numbers, a high note where a sample is a large
    // part of the period, and one far off any table.
    const double pitches[] = {twelve_tet(40), 100.0, twelve_tet(55), 440.0, 777.7, twelve_tet(88)};
    for (double hz : pitches) {
        const double error = tuning_error(hz, 6.0, 0.8, 0.18, 3000.0, 0.15);
        std::printf("%9.4f Hz: %+.5f cents\n", hz, error);
        EXPECT_NEAR(error, 0.0, 0.01) << hz << " Hz";
    }
}

TEST(Clipgen, InTuneHoweverDamped)
{
    // The loss filter's own delay changes with the damping; the tuning must not.
    const double t60_treble[] = {0.05, 0.3, 2.0, 20.0};
    for (double t : t60_treble) {
        EXPECT_NEAR(tuning_error(196.0, 8.0, t, 0.18, 3000.0, 0.15), 0.0, 0.01) << t;
        EXPECT_NEAR(tuning_error(1000.0, 3.0, t, 0.3, 5000.0, 0.0), 0.0, 0.01) << t;
    }
}

TEST(Clipgen, PolarisationsStraddleThePitch)
{
    // A wide spread between the polarisations still centres on the pitch.
    EXPECT_NEAR(tuning_error(110.0, 10.0, 0.8, 0.18, 3000.0, 0.5), 0.0, 0.01);
    EXPECT_NEAR(tuning_error(330.0, 10.0, 0.8, 0.18, 3000.0, 0.5), 0.0, 0.01);
}

// Decay in dB per second of the partial near `hz`, between windows at 0.3 s and 1.8 s.
static double decay_rate(const std::vector<float> &x, double hz)
{
    const std::size_t length = std::size_t(0.8 * rate);
    const spectral_peak a = find_peak(x.data(), x.size(), rate, std::size_t(0.3 * rate), length, hz, 20.0);
    const spectral_peak b = find_peak(x.data(), x.size(), rate, std::size_t(1.8 * rate), length, hz, 20.0);
    return (to_dbfs(a.amplitude) - to_dbfs(b.amplitude)) / 1.5;
}

TEST(Clipgen, DecayTimesAreAsAsked)
{
    // 300 Hz: the tenth partial sits on the frequency where the treble's decay is set.
    const double hz = 300.0;
    ASSERT_NEAR(loss_treble_hz / hz, 10.0, 1e-9);
    const std::vector<float> x = render_pluck(hz, 2.7, 4.0, 1.0, 0.13, 8000.0, 0.0, 3);
    const double fundamental = decay_rate(x, hz);
    const double treble = decay_rate(x, loss_treble_hz);
    std::printf("fundamental %.2f dB/s, treble %.2f dB/s\n", fundamental, treble);
    EXPECT_NEAR(fundamental, 60.0 / 4.0, 0.1);
    EXPECT_NEAR(treble, 60.0 / 1.0, 1.0);
    // In between, the decay grows with frequency.
    double previous = fundamental;
    for (int k = 2; k <= 9; k++) {
        const double d = decay_rate(x, k * hz);
        EXPECT_GT(d, previous) << "partial " << k;
        previous = d;
    }
}

TEST(Clipgen, DampingBeyondReachStaysStable)
{
    // A treble asked to die in 50 ms over a 3 s fundamental is more than a one-pole loss
    // filter can do while losing at DC as well; the string must still die away, never grow.
    const std::vector<float> x = render_pluck(1000.0, 2.7, 3.0, 0.05, 0.3, 5000.0, 0.0, 9);
    const std::size_t half_second = std::size_t(0.5 * rate);
    const double early = rms_dbfs(x.data(), half_second);
    const double late = rms_dbfs(x.data() + x.size() - half_second, half_second);
    EXPECT_LT(late, early - 20.0);
    EXPECT_LT(peak_dbfs(x.data() + x.size() - half_second, half_second),
              peak_dbfs(x.data(), half_second));
}

TEST(Clipgen, PickLeavesANotch)
{
    // Plucked a quarter of the way along, the fourth partial has a node under the pick.
    const std::vector<float> x = render_pluck(220.0, 1.0, 6.0, 1.0, 0.25, 8000.0, 0.0, 5);
    const std::size_t start = std::size_t(0.1 * rate), length = std::size_t(0.5 * rate);
    const std::vector<spectral_peak> p =
        find_peaks(x.data(), x.size(), rate, start, length, {660.0, 880.0, 1100.0}, 20.0);
    EXPECT_LT(to_dbfs(p[1].amplitude), to_dbfs(p[0].amplitude) - 20.0);
    EXPECT_LT(to_dbfs(p[1].amplitude), to_dbfs(p[2].amplitude) - 20.0);
}

TEST(Clipgen, SameArgumentsSameSamples)
{
    const std::vector<float> a = render_pluck(146.8, 0.5, 9.0, 1.0, 0.18, 3000.0, 0.15, 11);
    const std::vector<float> b = render_pluck(146.8, 0.5, 9.0, 1.0, 0.18, 3000.0, 0.15, 11);
    EXPECT_EQ(a, b);
}

TEST(Clipgen, ClipEndsInExactSilence)
{
    // The shortest clip: the others differ only in their voice, not in how they end.
    const std::vector<float> x = render_clip(1);
    ASSERT_EQ(x.size(), std::size_t(std::lround(clip_seconds(1) * rate)));
    EXPECT_EQ(x.back(), 0.0f);
    EXPECT_NE(x.front(), 0.0f);
}
