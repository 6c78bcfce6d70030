// Measuring sound in tests: pitch to a hundredth of a cent, levels, DC and onsets.
// Samples are floats in full scale -1..1 (as decoded, or as captured and converted).
#pragma once

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

// Cents from `ref_hz` up to `hz` (negative when `hz` is lower).
double cents_between(double hz, double ref_hz);

// Equal-temperament pitch of a MIDI note number, A4 (69) = 440 Hz.
double midi_note_hz(int note);

// Levels in dB relative to full scale (a full-scale square wave is 0 dBFS RMS);
// -inf for silence or an empty range.
double rms_dbfs(const float *x, std::size_t n);
double peak_dbfs(const float *x, std::size_t n);
double to_dbfs(double amplitude);

// Mean value of the samples.
double dc_offset(const float *x, std::size_t n);

// Index of the first sample whose magnitude exceeds `threshold_dbfs`, or n if none does.
std::size_t find_onset(const float *x, std::size_t n, double threshold_dbfs = -40.0);

// In-place radix-2 FFT; the size must be a power of two. Forward transform, no scaling.
void fft(std::vector<std::complex<double>> &a);

// A spectral peak: its frequency and the amplitude of the sinusoid that would make it,
// corrected for the window (a steady sine of amplitude A gives about A).
struct spectral_peak {
    double hz;
    double amplitude;
};

// Strongest peak within `search_cents` of `expected_hz` in a Gaussian-windowed,
// zero-padded spectrum of x[start .. start+length), refined by a parabola through the
// log magnitudes of the three highest bins. The Gaussian's log spectrum is itself a
// parabola, so the vertex lands on the true frequency far inside one bin. Samples past
// the end of x count as silence. Returns {0, 0} when the range holds nothing.
spectral_peak find_peak(const float *x, std::size_t n, double rate, std::size_t start,
                        std::size_t length, double expected_hz, double search_cents = 50.0);

// The same for several peaks of one window at once (one transform for all): one result
// per expected frequency, in order.
std::vector<spectral_peak> find_peaks(const float *x, std::size_t n, double rate, std::size_t start,
                                      std::size_t length, const std::vector<double> &expected_hz,
                                      double search_cents = 50.0);

// Fundamental frequency near `expected_hz` of a plucked tone: the peak of a 2.5 s window
// that starts 0.15 s after `onset` (past the attack's noise and transient).
double estimate_fundamental(const float *x, std::size_t n, double rate, std::size_t onset,
                            double expected_hz);

// Same with vectors.
double estimate_fundamental(const std::vector<float> &x, double rate, std::size_t onset,
                            double expected_hz);

// Interleaved signed 16-bit little-endian frames to floats: one channel (0-based) of
// `channels`, or their mean when `channel` is negative.
std::vector<float> s16le_to_float(const unsigned char *bytes, std::size_t nbytes, int channels,
                                  int channel = -1);

// Whole file as bytes; empty when it cannot be read.
std::vector<unsigned char> read_file_bytes(const std::string &path);
