// The measuring tools the note tests stand on, checked against signals whose every
// figure is known because they are written here sample by sample.
#include "support/audio_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

static const double pi = 3.14159265358979323846;
static const double rate = 44100.0;

// A plucked-like tone: silence, then a fundamental and two overtones, all decaying,
// the overtones faster, with a phase that is not zero at the start.
static std::vector<float> decaying_tone(double hz, double seconds, std::size_t lead_in)
{
    std::vector<float> x(lead_in + std::size_t(seconds * rate), 0.0f);
    for (std::size_t i = lead_in; i < x.size(); i++) {
        const double t = double(i - lead_in) / rate;
        const double v = 0.5 * std::exp(-t / 2.0) * std::sin(2 * pi * hz * t + 0.3) +
                         0.25 * std::exp(-t / 0.9) * std::sin(2 * pi * 2 * hz * t + 1.1) +
                         0.1 * std::exp(-t / 0.5) * std::sin(2 * pi * 3 * hz * t + 2.0);
        x[i] = float(v);
    }
    return x;
}

TEST(AudioAnalysis, CentsAndNotes)
{
    EXPECT_NEAR(cents_between(880.0, 440.0), 1200.0, 1e-9);
    EXPECT_NEAR(cents_between(440.0, 880.0), -1200.0, 1e-9);
    EXPECT_NEAR(cents_between(440.0 * std::pow(2.0, 1.0 / 1200.0), 440.0), 1.0, 1e-9);
    EXPECT_NEAR(midi_note_hz(69), 440.0, 1e-12);
    EXPECT_NEAR(midi_note_hz(40), 82.4069, 5e-5);
    EXPECT_NEAR(midi_note_hz(64), 329.6276, 5e-5);
}

TEST(AudioAnalysis, FftMatchesDirectTransform)
{
    std::vector<std::complex<double>> a(64);
    for (std::size_t i = 0; i < a.size(); i++)
        a[i] = std::complex<double>(std::sin(0.37 * double(i * i)), std::cos(1.3 * double(i)));
    std::vector<std::complex<double>> b = a;
    fft(b);
    for (std::size_t k = 0; k < a.size(); k++) {
        std::complex<double> sum = 0.0;
        for (std::size_t i = 0; i < a.size(); i++)
            sum += a[i] * std::polar(1.0, -2 * pi * double(k * i) / double(a.size()));
        EXPECT_NEAR(b[k].real(), sum.real(), 1e-9) << "bin " << k;
        EXPECT_NEAR(b[k].imag(), sum.imag(), 1e-9) << "bin " << k;
    }
}

TEST(AudioAnalysis, FundamentalOfDecayingToneToAHundredthOfACent)
{
    // Guitar pitches and some in between, none on a bin of the transform.
    const double pitches[] = {82.40688922821748, 100.0, 110.0, 146.8323839587038, 195.99771799087466,
                              246.94165062806206, 329.6275569128699, 440.0, 987.7666025122483, 61.7};
    for (double hz : pitches) {
        const std::size_t lead_in = 12345;
        const std::vector<float> x = decaying_tone(hz, 3.0, lead_in);
        const std::size_t onset = find_onset(x.data(), x.size(), -40.0);
        ASSERT_LE(onset, lead_in + 1);
        ASSERT_GE(onset, lead_in);
        const double got = estimate_fundamental(x, rate, onset, hz);
        EXPECT_NEAR(cents_between(got, hz), 0.0, 0.01) << hz << " Hz measured as " << got;
    }
}

TEST(AudioAnalysis, FundamentalFindsAMistunedTone)
{
    // Tuned 7 cents sharp: the estimate must report the tone, not the expectation.
    const double hz = 110.0 * std::pow(2.0, 7.0 / 1200.0);
    const std::vector<float> x = decaying_tone(hz, 3.0, 0);
    EXPECT_NEAR(cents_between(estimate_fundamental(x, rate, 0, 110.0), 110.0), 7.0, 0.01);
}

TEST(AudioAnalysis, PeakAmplitudeOfASteadySine)
{
    std::vector<float> x(std::size_t(2 * rate));
    for (std::size_t i = 0; i < x.size(); i++)
        x[i] = float(0.3 * std::sin(2 * pi * 523.0 * double(i) / rate) +
                     0.03 * std::sin(2 * pi * 1046.0 * double(i) / rate));
    const spectral_peak p = find_peak(x.data(), x.size(), rate, 0, x.size(), 523.0);
    EXPECT_NEAR(p.hz, 523.0, 1e-4);
    EXPECT_NEAR(p.amplitude, 0.3, 0.3 * 1e-3);
    const spectral_peak q = find_peak(x.data(), x.size(), rate, 0, x.size(), 1046.0);
    EXPECT_NEAR(q.amplitude, 0.03, 0.03 * 1e-3);

    // Both at once from one transform, plus one where nothing sounds.
    const std::vector<spectral_peak> both =
        find_peaks(x.data(), x.size(), rate, 0, x.size(), {1046.0, 523.0, 700.0}, 20.0);
    ASSERT_EQ(both.size(), 3u);
    EXPECT_NEAR(both[0].hz, 1046.0, 1e-4);
    EXPECT_NEAR(both[0].amplitude, 0.03, 0.03 * 1e-3);
    EXPECT_NEAR(both[1].hz, 523.0, 1e-4);
    EXPECT_NEAR(both[1].amplitude, 0.3, 0.3 * 1e-3);
    EXPECT_LT(both[2].amplitude, 0.3 * 1e-4);
}

TEST(AudioAnalysis, Levels)
{
    std::vector<float> sine(44100);
    for (std::size_t i = 0; i < sine.size(); i++)
        sine[i] = float(0.5 * std::sin(2 * pi * 1000.0 * double(i) / rate));
    EXPECT_NEAR(rms_dbfs(sine.data(), sine.size()), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.01);
    EXPECT_NEAR(peak_dbfs(sine.data(), sine.size()), 20 * std::log10(0.5), 0.01);
    EXPECT_NEAR(dc_offset(sine.data(), sine.size()), 0.0, 1e-6);

    std::vector<float> offset(1000, 0.25f);
    offset[10] = 0.75f;
    EXPECT_NEAR(dc_offset(offset.data(), offset.size()), 0.2505, 1e-9);
    EXPECT_NEAR(peak_dbfs(offset.data(), offset.size()), 20 * std::log10(0.75), 1e-6);

    std::vector<float> silence(100, 0.0f);
    EXPECT_TRUE(std::isinf(rms_dbfs(silence.data(), silence.size())));
    EXPECT_LT(rms_dbfs(silence.data(), silence.size()), 0.0);
    EXPECT_EQ(find_onset(silence.data(), silence.size(), -90.0), silence.size());
    silence[60] = -0.02f;
    EXPECT_EQ(find_onset(silence.data(), silence.size(), -40.0), 60u);
    EXPECT_EQ(find_onset(silence.data(), silence.size(), -30.0), silence.size());
}

TEST(AudioAnalysis, SignedSixteenBitFrames)
{
    // Two stereo frames: (16384, -32768) and (-1, 32767), little-endian.
    const unsigned char bytes[] = {0x00, 0x40, 0x00, 0x80, 0xff, 0xff, 0xff, 0x7f, 0x12};
    const std::vector<float> left = s16le_to_float(bytes, sizeof bytes, 2, 0);
    const std::vector<float> right = s16le_to_float(bytes, sizeof bytes, 2, 1);
    const std::vector<float> mix = s16le_to_float(bytes, sizeof bytes, 2);
    ASSERT_EQ(left.size(), 2u);
    ASSERT_EQ(right.size(), 2u);
    ASSERT_EQ(mix.size(), 2u);
    EXPECT_FLOAT_EQ(left[0], 0.5f);
    EXPECT_FLOAT_EQ(right[0], -1.0f);
    EXPECT_FLOAT_EQ(left[1], -1.0f / 32768);
    EXPECT_FLOAT_EQ(right[1], 32767.0f / 32768);
    EXPECT_FLOAT_EQ(mix[0], -0.25f);
    EXPECT_FLOAT_EQ(mix[1], (32767.0f - 1.0f) / 65536);
}
