#include "support/clip_follow.h"

#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdint>

std::vector<int> played_note(const std::string &path, int volume)
{
    std::vector<int> note;
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0)
        return note;
    std::vector<std::int16_t> buf(4096);
    int section;
    long got;
    while ((got = ov_read(&vf, reinterpret_cast<char *>(buf.data()), int(buf.size() * 2), 0, 2, 1, &section)) > 0)
        for (long i = 0; i < got / 2; i++)
            note.push_back(buf[std::size_t(i)] * volume / 128);
    ov_clear(&vf);
    return note;
}

double follows_note_seconds(const std::vector<float> &capture, std::size_t onset,
                            const std::vector<int> &note, double rate)
{
    std::size_t start = 0;
    while (start < note.size() && note[start] == 0)
        start++;
    auto diff = [&](std::size_t at, std::size_t from, std::size_t n, double &signal) {
        double d = 0, s = 0;
        for (std::size_t i = 0; i < n; i++) {
            double want = note[from + i];
            double x = capture[at + i] * 32768.0;
            d += (x - want) * (x - want);
            s += want * want;
        }
        signal = std::sqrt(s / double(n));
        return std::sqrt(d / double(n));
    };
    // The two decoders may differ in the first faint samples: a few samples' leeway.
    const std::size_t lineup = std::size_t(rate / 10);
    std::size_t best = onset;
    double best_diff = 1e300, signal;
    for (std::size_t at = onset > 64 ? onset - 64 : 0; at <= onset + 64; at++) {
        if (at + lineup > capture.size() || start + lineup > note.size())
            break;
        double d = diff(at, start, lineup, signal);
        if (d < best_diff) {
            best_diff = d;
            best = at;
        }
    }
    const std::size_t window = std::size_t(rate / 100);
    std::size_t n = 0;
    while (best + n + window <= capture.size() && start + n + window <= note.size()) {
        if (diff(best + n, start + n, window, signal) > 8 + 0.02 * signal)
            break;
        n += window;
    }
    return double(n) / rate;
}
