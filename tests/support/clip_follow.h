// Whether a captured sound is the tuner's note as the mixer plays it: the clip decoded by
// libvorbisfile, scaled by the music volume, followed sample for sample from the pluck on.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The clip in `path` as signed 16-bit samples scaled by volume / 128, as SDL_mixer plays
// it; empty when it cannot be decoded.
std::vector<int> played_note(const std::string &path, int volume);

// How long `capture` (full scale -1..1), from its first sound at about `onset`, follows
// `note` without a gap: compared in 10 ms windows, lined up within 64 samples of the
// onset, with room for another decoder rounding differently from libvorbis. A lost or
// repeated buffer, or the wrong level, ends it.
double follows_note_seconds(const std::vector<float> &capture, std::size_t onset,
                            const std::vector<int> &note, double rate);
