// The six reference notes as the program carries them: every embedded array is decoded
// from memory and held to the format, the tuning and the sound it promises.
#include "audio/tone_clips.h"
#include "support/audio_analysis.h"

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef TUNER_ASSET_DIR
#error "TUNER_ASSET_DIR must name the directory holding the clip files"
#endif

static const double rate = 44100.0;

// By string number minus one: the array, its file, and the open string's note
// (MIDI numbering, E4 = 64 down to E2 = 40).
static const unsigned char *const clip_data[6] = {s1eArray, s2bArray, s3gArray,
                                                  s4dArray, s5aArray, s6eArray};
static const unsigned int *const clip_len[6] = {&s1eArray_len, &s2bArray_len, &s3gArray_len,
                                                &s4dArray_len, &s5aArray_len, &s6eArray_len};
static const char *const clip_file[6] = {"s1e.ogg", "s2b.ogg", "s3g.ogg",
                                         "s4d.ogg", "s5a.ogg", "s6e.ogg"};
static const int clip_note[6] = {64, 59, 55, 50, 45, 40};

// libvorbisfile reading straight from a const array.
struct memory_stream {
    const unsigned char *data;
    std::size_t size;
    std::size_t pos;
};

static size_t memory_read(void *ptr, size_t size, size_t count, void *source)
{
    memory_stream *m = static_cast<memory_stream *>(source);
    if (size == 0)
        return 0;
    const size_t n = std::min(count, (m->size - m->pos) / size);
    std::memcpy(ptr, m->data + m->pos, n * size);
    m->pos += n * size;
    return n;
}

static int memory_seek(void *source, ogg_int64_t offset, int whence)
{
    memory_stream *m = static_cast<memory_stream *>(source);
    ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? ogg_int64_t(m->pos)
                                                                   : ogg_int64_t(m->size);
    if (base + offset < 0 || base + offset > ogg_int64_t(m->size))
        return -1;
    m->pos = std::size_t(base + offset);
    return 0;
}

static long memory_tell(void *source)
{
    return long(static_cast<memory_stream *>(source)->pos);
}

static const ov_callbacks memory_callbacks = {memory_read, memory_seek, nullptr, memory_tell};

// One array decoded, with what its headers say.
struct decoded_clip {
    bool opened = false;
    long streams = 0;
    bool seekable = false;
    int version = -1;
    int channels = 0;
    long sample_rate = 0;
    long bitrate_upper = 0, bitrate_nominal = 0, bitrate_lower = 0;
    int comments = -1;
    std::string vendor;
    ogg_int64_t total_samples = -1;
    std::vector<float> samples;
};

static decoded_clip decode(const unsigned char *data, std::size_t size)
{
    decoded_clip d;
    memory_stream m = {data, size, 0};
    OggVorbis_File vf;
    if (ov_open_callbacks(&m, &vf, nullptr, 0, memory_callbacks) != 0)
        return d;
    d.opened = true;
    d.streams = ov_streams(&vf);
    d.seekable = ov_seekable(&vf) != 0;
    if (const vorbis_info *vi = ov_info(&vf, -1)) {
        d.version = vi->version;
        d.channels = vi->channels;
        d.sample_rate = vi->rate;
        d.bitrate_upper = vi->bitrate_upper;
        d.bitrate_nominal = vi->bitrate_nominal;
        d.bitrate_lower = vi->bitrate_lower;
    }
    if (const vorbis_comment *vc = ov_comment(&vf, -1)) {
        d.comments = vc->comments;
        d.vendor = vc->vendor ? vc->vendor : "";
    }
    d.total_samples = ov_pcm_total(&vf, -1);
    for (;;) {
        float **pcm;
        int section;
        const long got = ov_read_float(&vf, &pcm, 4096, &section);
        if (got <= 0)
            break;
        d.samples.insert(d.samples.end(), pcm[0], pcm[0] + got);
    }
    ov_clear(&vf);
    return d;
}

// Ogg's page checksum: CRC-32 with polynomial 0x04c11db7, no reflection, over the page
// with its checksum field taken as zero.
static std::uint32_t ogg_crc(const unsigned char *page, std::size_t size)
{
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < size; i++) {
        const unsigned char byte = (i >= 22 && i < 26) ? 0 : page[i];
        crc ^= std::uint32_t(byte) << 24;
        for (int b = 0; b < 8; b++)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    return crc;
}

static std::uint32_t le32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Each array decoded once, on first use, for all the tests that listen to it.
static const decoded_clip &clip(int string_number)
{
    static decoded_clip clips[6];
    static bool decoded[6];
    const int i = string_number - 1;
    if (!decoded[i]) {
        clips[i] = decode(clip_data[i], *clip_len[i]);
        decoded[i] = true;
    }
    return clips[i];
}

class Notes : public ::testing::TestWithParam<int> {};

static double expected_hz(int string_number)
{
    return 440.0 * std::pow(2.0, (clip_note[string_number - 1] - 69) / 12.0);
}

TEST_P(Notes, IsOneCompleteOggStream)
{
    const int s = GetParam();
    const unsigned char *data = clip_data[s - 1];
    const std::size_t size = *clip_len[s - 1];
    ASSERT_GE(size, 27u);
    ASSERT_EQ(std::memcmp(data, "OggS", 4), 0);

    // Walk the pages: every one whole, checksummed, of the same stream and in sequence;
    // the first opens the stream, the last closes it and ends exactly at the array's end.
    std::size_t pos = 0;
    std::uint32_t serial = 0, sequence = 0;
    int pages = 0;
    bool ended = false;
    while (pos < size) {
        ASSERT_FALSE(ended) << "data after the end-of-stream page at byte " << pos;
        ASSERT_LE(pos + 27, size) << "truncated page header at byte " << pos;
        const unsigned char *page = data + pos;
        ASSERT_EQ(std::memcmp(page, "OggS", 4), 0) << "no page at byte " << pos;
        EXPECT_EQ(page[4], 0) << "page version";
        const unsigned segments = page[26];
        ASSERT_LE(pos + 27 + segments, size);
        std::size_t body = 0;
        for (unsigned i = 0; i < segments; i++)
            body += page[27 + i];
        const std::size_t page_size = 27 + segments + body;
        ASSERT_LE(pos + page_size, size) << "truncated page at byte " << pos;
        EXPECT_EQ(le32(page + 22), ogg_crc(page, page_size)) << "page " << pages;

        const unsigned flags = page[5];
        if (pages == 0) {
            EXPECT_TRUE(flags & 0x02) << "the first page must begin the stream";
            serial = le32(page + 14);
        } else {
            EXPECT_FALSE(flags & 0x02) << "a second stream begins on page " << pages;
            EXPECT_EQ(le32(page + 14), serial) << "page " << pages << " of another stream";
        }
        EXPECT_EQ(le32(page + 18), sequence) << "page out of sequence";
        if (flags & 0x04)
            ended = true;
        sequence++;
        pages++;
        pos += page_size;
    }
    EXPECT_EQ(pos, size);
    EXPECT_TRUE(ended) << "no end-of-stream page";
}

TEST_P(Notes, HeadersDescribeMonoVorbisAt96kbit)
{
    const decoded_clip &c = clip(GetParam());
    ASSERT_TRUE(c.opened);
    EXPECT_EQ(c.streams, 1);
    EXPECT_TRUE(c.seekable);
    EXPECT_EQ(c.version, 0) << "Vorbis I";
    EXPECT_EQ(c.channels, 1);
    EXPECT_EQ(c.sample_rate, 44100);
    EXPECT_EQ(c.bitrate_nominal, 96000);
    // Not given: Vorbis I writes an unset limit as zero or less.
    EXPECT_LE(c.bitrate_upper, 0);
    EXPECT_LE(c.bitrate_lower, 0);
    EXPECT_EQ(c.comments, 0);
    EXPECT_FALSE(c.vendor.empty());
    EXPECT_EQ(c.total_samples, ogg_int64_t(c.samples.size()));
}

TEST_P(Notes, InTuneToATenthOfACent)
{
    const int s = GetParam();
    const decoded_clip &c = clip(s);
    ASSERT_GT(c.samples.size(), std::size_t(3 * rate));
    const std::size_t onset = find_onset(c.samples.data(), c.samples.size(), -40.0);
    const double hz = estimate_fundamental(c.samples, rate, onset, expected_hz(s));
    const double error = cents_between(hz, expected_hz(s));
    std::printf("string %d: %.4f Hz for %.4f Hz, %+.4f cents\n", s, hz, expected_hz(s), error);
    EXPECT_NEAR(error, 0.0, 0.1);
}

TEST_P(Notes, StartsAtThePluck)
{
    const decoded_clip &c = clip(GetParam());
    ASSERT_FALSE(c.samples.empty());
    // Sounding within the first millisecond, and loud within the first ten.
    EXPECT_LT(find_onset(c.samples.data(), c.samples.size(), -40.0), std::size_t(rate / 1000));
    EXPECT_GT(peak_dbfs(c.samples.data(), std::size_t(rate / 100)), -12.0);
}

TEST_P(Notes, PeakLeavesHeadroom)
{
    const decoded_clip &c = clip(GetParam());
    const double peak = peak_dbfs(c.samples.data(), c.samples.size());
    std::printf("string %d: peak %.2f dBFS\n", GetParam(), peak);
    EXPECT_LE(peak, -1.0);
    EXPECT_GE(peak, -6.0);
}

TEST_P(Notes, HasNoOffset)
{
    const decoded_clip &c = clip(GetParam());
    // Below -80 dBFS over the clip, and over its loud first second.
    EXPECT_LT(std::fabs(dc_offset(c.samples.data(), c.samples.size())), 1e-4);
    EXPECT_LT(std::fabs(dc_offset(c.samples.data(), std::size_t(rate))), 1e-3);
}

TEST_P(Notes, FadesToSilence)
{
    const decoded_clip &c = clip(GetParam());
    const std::size_t tail = std::size_t(rate / 10);
    ASSERT_GT(c.samples.size(), tail);
    const double last = peak_dbfs(c.samples.data() + c.samples.size() - tail, tail);
    std::printf("string %d: last 100 ms peak %.1f dBFS\n", GetParam(), last);
    EXPECT_LT(last, -60.0);
}

TEST_P(Notes, DecaysSecondBySecond)
{
    const decoded_clip &c = clip(GetParam());
    const std::size_t second = std::size_t(rate);
    double previous = 0.0;
    for (std::size_t t = 0; t + second <= c.samples.size(); t += second) {
        const double level = rms_dbfs(c.samples.data() + t, second);
        EXPECT_LT(level, previous) << "second " << t / second << " is no quieter than the one before";
        previous = level;
    }
}

TEST_P(Notes, OvertonesDieBeforeTheFundamental)
{
    const int s = GetParam();
    const decoded_clip &c = clip(s);
    const double f0 = expected_hz(s);
    std::vector<double> partials;
    for (int k = 1; k <= 6; k++)
        partials.push_back(k * f0);
    // The same partials in two one-second windows two seconds apart.
    const std::size_t early = std::size_t(0.1 * rate), late = std::size_t(2.1 * rate);
    const std::size_t length = std::size_t(rate);
    const std::vector<spectral_peak> a =
        find_peaks(c.samples.data(), c.samples.size(), rate, early, length, partials, 30.0);
    const std::vector<spectral_peak> b =
        find_peaks(c.samples.data(), c.samples.size(), rate, late, length, partials, 30.0);
    std::vector<double> decay(6);
    for (int k = 0; k < 6; k++) {
        ASSERT_GT(a[k].amplitude, 0.0);
        ASSERT_GT(b[k].amplitude, 0.0);
        decay[k] = (to_dbfs(a[k].amplitude) - to_dbfs(b[k].amplitude)) / 2.0;
    }
    std::printf("string %d: decay dB/s of partials 1-6: %.1f %.1f %.1f %.1f %.1f %.1f\n", s,
                decay[0], decay[1], decay[2], decay[3], decay[4], decay[5]);
    EXPECT_GT(decay[0], 2.0) << "the fundamental must die away";
    for (int k = 1; k < 6; k++)
        EXPECT_GT(decay[k], decay[0]) << "partial " << k + 1;
    EXPECT_GT(decay[5], 1.5 * decay[0]);
}

TEST_P(Notes, EmbeddedArrayIsTheAssetFile)
{
    const int s = GetParam();
    const std::vector<unsigned char> file =
        read_file_bytes(std::string(TUNER_ASSET_DIR) + "/" + clip_file[s - 1]);
    ASSERT_FALSE(file.empty()) << clip_file[s - 1];
    ASSERT_EQ(file.size(), std::size_t(*clip_len[s - 1]));
    EXPECT_EQ(std::memcmp(file.data(), clip_data[s - 1], file.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Strings, Notes, ::testing::Range(1, 7),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return "string" + std::to_string(info.param);
                         });

TEST(AllNotes, LoudnessMatchesAcrossStrings)
{
    double lo = 0.0, hi = -200.0;
    for (int s = 1; s <= 6; s++) {
        ASSERT_GE(clip(s).samples.size(), std::size_t(rate));
        const double level = rms_dbfs(clip(s).samples.data(), std::size_t(rate));
        std::printf("string %d: first second %.2f dBFS RMS\n", s, level);
        lo = std::min(lo, level);
        hi = std::max(hi, level);
    }
    EXPECT_LE(hi - lo, 1.5);
}

TEST(AllNotes, LowerStringsRingLonger)
{
    double previous = 0.0;
    for (int s = 1; s <= 6; s++) {
        const double seconds = double(clip(s).samples.size()) / rate;
        std::printf("string %d: %.2f s, %u bytes\n", s, seconds, *clip_len[s - 1]);
        EXPECT_GE(seconds, 6.0);
        EXPECT_LE(seconds, 13.1);
        EXPECT_GE(seconds, previous) << "string " << s << " is shorter than string " << s - 1;
        previous = seconds;
    }
    EXPECT_LE(double(clip(1).samples.size()) / rate, 7.5);
    EXPECT_GE(double(clip(6).samples.size()) / rate, 12.0);
}
