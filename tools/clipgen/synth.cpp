#include "synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

static const double pi = 3.14159265358979323846;

// The voice of each string, by string number minus one. Lower strings ring longer and
// keep their overtones longer.
static const int string_note[6] = {64, 59, 55, 50, 45, 40};
static const double string_seconds[6] = {6.0, 7.0, 8.0, 10.0, 11.5, 13.0};
static const double string_t60[6] = {7.0, 8.0, 9.0, 10.5, 12.0, 13.5};
static const double string_t60_treble[6] = {1.4, 1.3, 1.2, 1.0, 0.9, 0.8};

// Every string is plucked the same way: the pick at the same fraction of the string's
// length from the bridge, and as hard (the cut-off of the pluck's lowpass, in Hz).
static const double pick_position = 0.18;
static const double pluck_brightness = 3000.0;

// Half the spread between the two polarisations: enough to make high partials beat
// slowly, far too little to be heard as mistuning.
static const double detune_cents = 0.15;
// Loudness of every clip over its first second, before the fade.
static const double clip_rms_dbfs = -14.0;
// The loop's gain at DC stays below this, so that nothing in it can grow.
static const double max_dc_gain = 0.99999;
// Length of the closing fade to silence.
static const double fade_seconds = 1.0;

double note_hz(int midi_note)
{
    return 440.0 * std::pow(2.0, (midi_note - 69) / 12.0);
}

double string_hz(int string_number)
{
    return note_hz(string_note[string_number - 1]);
}

double clip_seconds(int string_number)
{
    return string_seconds[string_number - 1];
}

double loss_phase_delay(double a, double w)
{
    return std::atan2(-a * std::sin(w), 1.0 + a * std::cos(w)) / w;
}

double allpass_phase_delay(double eta, double w)
{
    const double phase = std::atan2(-std::sin(w), eta + std::cos(w)) -
                         std::atan2(-eta * std::sin(w), 1.0 + eta * std::cos(w));
    return -phase / w;
}

// Magnitude of 1 + a e^{-jw}, the loss filter's denominator.
static double loss_denominator(double a, double w)
{
    return std::sqrt(1.0 + 2.0 * a * std::cos(w) + a * a);
}

void design_loop(double hz, double t60_fundamental, double treble, double t60_treble,
                 int *delay, double *g, double *a, double *eta)
{
    const double period = clip_rate / hz;
    const double w0 = 2.0 * pi * hz / clip_rate;
    const double w1 = 2.0 * pi * treble / clip_rate;
    // The loop runs once per period, so a decay time becomes a gain per trip.
    const double gain0 = std::pow(10.0, -3.0 / (hz * t60_fundamental));
    const double gain1 = std::pow(10.0, -3.0 / (hz * t60_treble));
    const double ratio = gain1 / gain0;

    // The gain ratio between the two frequencies falls from 1 as the pole goes from 0
    // towards -1, while the gain at DC (g) climbs. The loop must lose at DC too, so
    // the pole stops where g would reach 1; a treble asked to die faster than that allows
    // dies as fast as it can. Bisection finds both bounds.
    double floor_a = -0.999999;
    if (gain0 * loss_denominator(floor_a, w0) / (1.0 + floor_a) > max_dc_gain) {
        double lo = floor_a, hi = 0.0;
        for (int i = 0; i < 200; i++) {
            const double mid = 0.5 * (lo + hi);
            if (gain0 * loss_denominator(mid, w0) / (1.0 + mid) > max_dc_gain)
                lo = mid;
            else
                hi = mid;
        }
        floor_a = hi;
    }
    // A treble that lasts as long as the fundamental, or longer, needs no lowpass.
    double lo = 0.0, hi = 0.0;
    if (ratio < 1.0) {
        lo = floor_a;
        if (loss_denominator(lo, w0) / loss_denominator(lo, w1) > ratio) {
            hi = lo;
        } else {
            for (int i = 0; i < 200; i++) {
                const double mid = 0.5 * (lo + hi);
                if (loss_denominator(mid, w0) / loss_denominator(mid, w1) > ratio)
                    hi = mid;
                else
                    lo = mid;
            }
        }
    }
    *a = 0.5 * (lo + hi);
    *g = gain0 * loss_denominator(*a, w0) / (1.0 + *a);

    // What the loss filter leaves of the period is made up by whole samples of delay
    // and an allpass delay between 0.5 and 1.5 samples, where it is best behaved.
    const double rest = period - loss_phase_delay(*a, w0);
    *delay = int(std::floor(rest - 0.5));
    const double d = rest - *delay;
    // The first-order allpass's phase at w0 equals -w0 d exactly for this coefficient.
    *eta = std::sin(0.5 * w0 * (1.0 - d)) / std::sin(0.5 * w0 * (1.0 + d));
}

// Uniform noise in [-1, 1) from a fixed recipe, identical on every platform.
static double noise(std::uint32_t *state)
{
    *state = *state * 1664525u + 1013904223u;
    return double(*state >> 8) / double(1u << 23) - 1.0;
}

// The excitation: the slope of a string drawn aside by a pick (a sawtooth over one
// period), with a little noise for the pick's scrape, through a comb that removes the
// partials with a node at the pick, then a lowpass whose corner sets how hard the
// string is struck.
static std::vector<double> excitation(double hz, double pick, double brightness_hz,
                                      unsigned seed)
{
    const int period = std::max(2, int(std::lround(clip_rate / hz)));
    std::uint32_t state = seed * 2654435761u + 12345u;
    std::vector<double> shape(period);
    for (int n = 0; n < period; n++)
        shape[n] = 0.5 - (n + 0.5) / period + 0.06 * noise(&state);

    const int notch = std::max(1, int(std::lround(pick * period)));
    std::vector<double> combed(period);
    double mean = 0.0;
    for (int n = 0; n < period; n++) {
        combed[n] = shape[n] - shape[(n - notch + period) % period];
        mean += combed[n];
    }
    mean /= period;

    // A one-pole lowpass; its tail runs on past the period until it no longer matters.
    const double r = std::exp(-2.0 * pi * brightness_hz / clip_rate);
    const int tail = int(std::ceil(12.0 / (1.0 - r)));
    std::vector<double> out(period + tail);
    double y = 0.0;
    for (std::size_t n = 0; n < out.size(); n++) {
        const double x = n < std::size_t(period) ? combed[n] - mean : 0.0;
        y = (1.0 - r) * x + r * y;
        out[n] = y;
    }
    return out;
}

// One polarisation of the string driven by the excitation, `length` samples.
static std::vector<double> run_loop(const std::vector<double> &drive, double hz, double t60,
                                    double t60_treble, std::size_t length)
{
    int delay;
    double g, a, eta;
    design_loop(hz, t60, loss_treble_hz, t60_treble, &delay, &g, &a, &eta);
    std::vector<double> y(length);
    double loss = 0.0, ap_in = 0.0, ap_out = 0.0;
    for (std::size_t n = 0; n < length; n++) {
        const double back = n >= std::size_t(delay) ? y[n - delay] : 0.0;
        loss = g * (1.0 + a) * back - a * loss;
        ap_out = eta * loss + ap_in - eta * ap_out;
        ap_in = loss;
        y[n] = (n < drive.size() ? drive[n] : 0.0) + ap_out;
    }
    return y;
}

// The guitar's body, reduced to a few broad, quickly dying resonances added to the
// string's own sound: the air in the box, and the top plate's first modes. They ring
// out long before the note's pitch is judged and never pull it.
static const double body_hz[4] = {102.0, 215.0, 390.0, 1150.0};
static const double body_t60[4] = {0.10, 0.08, 0.06, 0.03};
static const double body_gain[4] = {0.6, 0.45, 0.3, 0.15};

static void sound_through_body(std::vector<double> &x)
{
    std::vector<double> wet(x.size(), 0.0);
    for (int m = 0; m < 4; m++) {
        const double bandwidth = std::log(1000.0) / (pi * body_t60[m]);
        const double r = std::exp(-pi * bandwidth / clip_rate);
        const double c = 2.0 * r * std::cos(2.0 * pi * body_hz[m] / clip_rate);
        const double b = 0.5 * (1.0 - r * r) * body_gain[m];
        double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
        for (std::size_t n = 0; n < x.size(); n++) {
            const double y = b * (x[n] - x2) + c * y1 - r * r * y2;
            x2 = x1;
            x1 = x[n];
            y2 = y1;
            y1 = y;
            wet[n] += y;
        }
    }
    // A gentle highpass keeps the sum free of any offset.
    const double r = 1.0 - 2.0 * pi * 15.0 / clip_rate;
    double prev = 0.0, y = 0.0;
    for (std::size_t n = 0; n < x.size(); n++) {
        const double in = x[n] + wet[n];
        y = in - prev + r * y;
        prev = in;
        x[n] = y;
    }
}

std::vector<float> render_pluck(double hz, double seconds, double t60_fundamental,
                                double t60_treble, double pick, double brightness_hz,
                                double detune, unsigned seed)
{
    const std::size_t length = std::size_t(std::lround(seconds * clip_rate));
    const std::vector<double> drive = excitation(hz, pick, brightness_hz, seed);
    const double spread = std::pow(2.0, detune / 1200.0);
    const std::vector<double> sharp = run_loop(drive, hz * spread, t60_fundamental, t60_treble, length);
    const std::vector<double> flat = run_loop(drive, hz / spread, t60_fundamental, t60_treble, length);
    std::vector<double> sum(length);
    for (std::size_t n = 0; n < length; n++)
        sum[n] = 0.5 * (sharp[n] + flat[n]);
    sound_through_body(sum);
    return std::vector<float>(sum.begin(), sum.end());
}

std::vector<float> render_clip(int string_number)
{
    const int i = string_number - 1;
    std::vector<float> x = render_pluck(string_hz(string_number), string_seconds[i], string_t60[i],
                                        string_t60_treble[i], pick_position, pluck_brightness,
                                        detune_cents, unsigned(string_number));
    const std::size_t second = std::min(x.size(), std::size_t(clip_rate));
    double sum = 0.0;
    for (std::size_t n = 0; n < second; n++)
        sum += double(x[n]) * x[n];
    const double rms = std::sqrt(sum / double(second));
    const double scale = std::pow(10.0, clip_rms_dbfs / 20.0) / rms;

    const std::size_t fade = std::size_t(fade_seconds * clip_rate);
    const std::size_t fade_start = x.size() - fade;
    for (std::size_t n = 0; n < x.size(); n++) {
        double v = x[n] * scale;
        if (n >= fade_start)
            v *= 0.5 + 0.5 * std::cos(pi * double(n - fade_start + 1) / double(fade));
        x[n] = float(v);
    }
    return x;
}
