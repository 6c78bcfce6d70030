// The note the page played, as its audio graph handed it to the speakers, measured for the
// browser tests (tuner.test.mjs):
//
//   web-note-check CAPTURE STRING VOLUME
//
// CAPTURE holds 32-bit float samples of one channel at 44,100 Hz, from the moment the note
// was asked for. Prints the note's pitch against equal temperament, and how long the
// capture follows the string's clip as the mixer plays it at VOLUME (0 to 128).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/audio_analysis.h"
#include "support/clip_follow.h"

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: web-note-check CAPTURE STRING VOLUME\n");
        return 2;
    }
    const int string_number = std::atoi(argv[2]), volume = std::atoi(argv[3]);
    static const char *const clips[6] = {"s1e", "s2b", "s3g", "s4d", "s5a", "s6e"};
    static const int notes[6] = {64, 59, 55, 50, 45, 40}; // E4 B3 G3 D3 A2 E2
    if (string_number < 1 || string_number > 6) {
        std::fprintf(stderr, "web-note-check: no string %s\n", argv[2]);
        return 2;
    }
    std::vector<unsigned char> bytes = read_file_bytes(argv[1]);
    std::vector<float> capture(bytes.size() / sizeof(float));
    std::memcpy(capture.data(), bytes.data(), capture.size() * sizeof(float));

    const double rate = 44100.0, want = midi_note_hz(notes[string_number - 1]);
    const std::size_t onset = find_onset(capture.data(), capture.size(), -60.0);
    std::printf("onset %.4f\n", double(onset) / rate);
    if (onset + std::size_t(3 * rate) > capture.size()) {
        std::printf("pitch none\nfollows 0\n");
        return 0;
    }
    const double hz = estimate_fundamental(capture, rate, onset, want);
    std::printf("pitch %.4f %+.4f\n", hz, cents_between(hz, want));
    std::vector<int> note = played_note(std::string(TUNER_ASSET_DIR "/") + clips[string_number - 1] + ".ogg", volume);
    std::printf("follows %.2f\n", follows_note_seconds(capture, onset, note, rate));
    return 0;
}
