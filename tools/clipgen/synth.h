// A plucked guitar string, modelled as a travelling wave that runs round a delay loop
// (an extended Karplus-Strong string), and the six finished reference notes made from it.
// Pure computation: no files, no sound device.
#pragma once

#include <vector>

// Every clip is rendered and stored at this rate.
const double clip_rate = 44100.0;

// The frequency at which the strings' second decay time (of the treble) is set.
const double loss_treble_hz = 3000.0;

// Equal-temperament pitch of a MIDI note number, A4 (note 69) = 440 Hz.
double note_hz(int midi_note);

// Open-string pitch of string 1 (high e, E4) to 6 (low E, E2) in standard tuning.
double string_hz(int string_number);

// Length of the finished clip of a string, in seconds: longer for the lower strings.
double clip_seconds(int string_number);

// Design of one polarisation's loop for a fundamental of `hz`: an integer delay, a
// one-pole loss filter g(1+a)/(1+a z^-1) and a first-order allpass (eta + z^-1)/(1 + eta z^-1)
// whose phase delays at the fundamental add up to exactly one period. The loss filter
// makes the fundamental fall 60 dB in `t60_fundamental` seconds and a partial at
// `treble_hz` in `t60_treble` seconds, or as nearly as a loop that loses at every
// frequency, DC included, allows.
void design_loop(double hz, double t60_fundamental, double treble_hz, double t60_treble,
                 int *delay, double *g, double *a, double *eta);

// Phase delay in samples, at angular frequency w (radians per sample), of the loss filter
// and of the allpass above; with the integer delay they make the loop's length.
double loss_phase_delay(double a, double w);
double allpass_phase_delay(double eta, double w);

// A pluck of a string tuned to `hz`, `seconds` long, unscaled and not faded: two
// polarisations detuned by +-`detune_cents`, excited by a pick `pick` of the way along
// the string with a tone set by `brightness_hz`, and sounded through a small body. The
// fundamental falls 60 dB in `t60_fundamental` seconds, a partial at loss_treble_hz in
// `t60_treble` seconds.
// The same arguments give the same samples every time.
std::vector<float> render_pluck(double hz, double seconds, double t60_fundamental,
                                double t60_treble, double pick, double brightness_hz,
                                double detune_cents, unsigned seed);

// The finished note of a string: its pluck at the clip's level, faded to exact silence at
// the end so that a loop re-plucks without a click.
std::vector<float> render_clip(int string_number);
