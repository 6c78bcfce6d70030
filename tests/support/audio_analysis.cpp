#include "support/audio_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>

static const double pi = 3.14159265358979323846;

double cents_between(double hz, double ref_hz)
{
    return 1200.0 * std::log2(hz / ref_hz);
}

double midi_note_hz(int note)
{
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

double to_dbfs(double amplitude)
{
    if (amplitude <= 0.0)
        return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(amplitude);
}

double rms_dbfs(const float *x, std::size_t n)
{
    if (n == 0)
        return -std::numeric_limits<double>::infinity();
    double sum = 0.0;
    for (std::size_t i = 0; i < n; i++)
        sum += double(x[i]) * x[i];
    return to_dbfs(std::sqrt(sum / double(n)));
}

double peak_dbfs(const float *x, std::size_t n)
{
    double peak = 0.0;
    for (std::size_t i = 0; i < n; i++)
        peak = std::max(peak, std::fabs(double(x[i])));
    return to_dbfs(peak);
}

double dc_offset(const float *x, std::size_t n)
{
    if (n == 0)
        return 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < n; i++)
        sum += x[i];
    return sum / double(n);
}

std::size_t find_onset(const float *x, std::size_t n, double threshold_dbfs)
{
    const double threshold = std::pow(10.0, threshold_dbfs / 20.0);
    for (std::size_t i = 0; i < n; i++)
        if (std::fabs(double(x[i])) > threshold)
            return i;
    return n;
}

void fft(std::vector<std::complex<double>> &a)
{
    const std::size_t n = a.size();
    if (n < 2)
        return;
    for (std::size_t i = 1, j = 0; i < n; i++) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    // One table of twiddles computed directly (not by repeated rotation) keeps the
    // rounding error of large transforms at the level of a single sin/cos.
    std::vector<std::complex<double>> tw(n / 2);
    const double step = -2.0 * pi / double(n);
    for (std::size_t k = 0; k < n / 2; k++)
        tw[k] = std::complex<double>(std::cos(step * double(k)), std::sin(step * double(k)));
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::size_t half = len / 2, stride = n / len;
        for (std::size_t i = 0; i < n; i += len) {
            for (std::size_t k = 0; k < half; k++) {
                // Spelt out: std::complex's operator* guards against infinities at a
                // cost that dominates a transform this size.
                const std::complex<double> w = tw[k * stride], b = a[i + k + half];
                const double vr = b.real() * w.real() - b.imag() * w.imag();
                const double vi = b.real() * w.imag() + b.imag() * w.real();
                const std::complex<double> u = a[i + k];
                a[i + k] = std::complex<double>(u.real() + vr, u.imag() + vi);
                a[i + k + half] = std::complex<double>(u.real() - vr, u.imag() - vi);
            }
        }
    }
}

static std::size_t next_pow2(std::size_t v)
{
    std::size_t p = 1;
    while (p < v)
        p <<= 1;
    return p;
}

std::vector<spectral_peak> find_peaks(const float *x, std::size_t n, double rate, std::size_t start,
                                      std::size_t length, const std::vector<double> &expected_hz,
                                      double search_cents)
{
    std::vector<spectral_peak> peaks(expected_hz.size(), spectral_peak{0.0, 0.0});
    if (length < 16 || start >= n)
        return peaks;
    // Twice the next power of two: bins well under a quarter of the main lobe's width,
    // which keeps the three-point parabola on its well-behaved top.
    const std::size_t size = 2 * next_pow2(length);
    // Cut at five standard deviations the Gaussian's side lobes lie near -100 dB, so
    // neither they nor other partials bend the main lobe measurably.
    const double sigma = double(length) / 10.0;
    const double centre = 0.5 * double(length - 1);
    // The windowed samples are real, so they are packed two to a complex value (even
    // samples real, odd imaginary) and transformed at half the size; each wanted bin is
    // then unpacked from two bins of that transform.
    const std::size_t half = size / 2;
    std::vector<std::complex<double>> z(half);
    double wsum = 0.0;
    for (std::size_t i = 0; i < length; i++) {
        const double d = (double(i) - centre) / sigma;
        const double w = std::exp(-0.5 * d * d);
        wsum += w;
        const double v = start + i < n ? double(x[start + i]) * w : 0.0;
        if (i % 2 == 0)
            z[i / 2].real(v);
        else
            z[i / 2].imag(v);
    }
    fft(z);
    const auto magnitude = [&](std::size_t k) {
        const std::complex<double> zk = z[k % half], zc = std::conj(z[(half - k % half) % half]);
        const std::complex<double> even = 0.5 * (zk + zc);
        const std::complex<double> odd = std::complex<double>(0.0, -0.5) * (zk - zc);
        return std::abs(even + std::polar(1.0, -2.0 * pi * double(k) / double(size)) * odd);
    };

    const double bin_hz = rate / double(size);
    for (std::size_t p = 0; p < expected_hz.size(); p++) {
        const double lo_hz = expected_hz[p] * std::pow(2.0, -search_cents / 1200.0);
        const double hi_hz = expected_hz[p] * std::pow(2.0, search_cents / 1200.0);
        const std::size_t lo = std::max<std::size_t>(1, std::size_t(std::floor(lo_hz / bin_hz)));
        const std::size_t hi = std::min(half - 2, std::size_t(std::ceil(hi_hz / bin_hz)));
        if (lo > hi)
            continue;
        std::size_t best = lo;
        double best_mag = magnitude(lo);
        for (std::size_t k = lo + 1; k <= hi; k++) {
            const double m = magnitude(k);
            if (m > best_mag) {
                best = k;
                best_mag = m;
            }
        }
        if (best_mag == 0.0)
            continue;
        const double a = std::log(magnitude(best - 1) + 1e-300);
        const double b = std::log(best_mag);
        const double c = std::log(magnitude(best + 1) + 1e-300);
        const double denom = a - 2.0 * b + c;
        const double delta = denom < 0.0 ? 0.5 * (a - c) / denom : 0.0;
        const double log_peak = b - 0.25 * (a - c) * delta;
        // A sine of amplitude A puts A/2 times the window's sum into its positive bin.
        peaks[p] = {(double(best) + delta) * bin_hz, 2.0 * std::exp(log_peak) / wsum};
    }
    return peaks;
}

spectral_peak find_peak(const float *x, std::size_t n, double rate, std::size_t start,
                        std::size_t length, double expected_hz, double search_cents)
{
    return find_peaks(x, n, rate, start, length, {expected_hz}, search_cents)[0];
}

double estimate_fundamental(const float *x, std::size_t n, double rate, std::size_t onset,
                            double expected_hz)
{
    const std::size_t start = onset + std::size_t(0.15 * rate);
    const std::size_t length = std::size_t(2.5 * rate);
    return find_peak(x, n, rate, start, length, expected_hz).hz;
}

double estimate_fundamental(const std::vector<float> &x, double rate, std::size_t onset,
                            double expected_hz)
{
    return estimate_fundamental(x.data(), x.size(), rate, onset, expected_hz);
}

std::vector<float> s16le_to_float(const unsigned char *bytes, std::size_t nbytes, int channels,
                                  int channel)
{
    std::vector<float> out;
    if (channels < 1)
        return out;
    const std::size_t frames = nbytes / (2 * std::size_t(channels));
    out.reserve(frames);
    for (std::size_t f = 0; f < frames; f++) {
        const unsigned char *p = bytes + f * 2 * std::size_t(channels);
        double sum = 0.0;
        for (int c = 0; c < channels; c++) {
            if (channel >= 0 && c != channel)
                continue;
            const int v = int(std::int16_t(std::uint16_t(p[2 * c] | (p[2 * c + 1] << 8))));
            sum += v / 32768.0;
        }
        out.push_back(float(channel >= 0 ? sum : sum / channels));
    }
    return out;
}

std::vector<unsigned char> read_file_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}
