// clipgen OUTDIR: synthesises the six reference notes and writes them to OUTDIR as
// s1e.ogg ... s6e.ogg, one mono Ogg Vorbis stream each. Run twice, it writes the same bytes.
#include "synth.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

static const char *const clip_name[6] = {"s1e", "s2b", "s3g", "s4d", "s5a", "s6e"};

// A fixed serial number per clip: the stream is then a function of the samples alone.
static const int serial_base = 0x56540100;

// Writes out the pages the stream has ready (all of them when flushing); notes whether the
// end-of-stream page went out.
static bool write_pages(std::FILE *out, ogg_stream_state *os, bool flush, bool *eos)
{
    ogg_page page;
    while (flush ? ogg_stream_flush(os, &page) : ogg_stream_pageout(os, &page)) {
        if (std::fwrite(page.header, 1, size_t(page.header_len), out) != size_t(page.header_len) ||
            std::fwrite(page.body, 1, size_t(page.body_len), out) != size_t(page.body_len))
            return false;
        if (ogg_page_eos(&page))
            *eos = true;
    }
    return true;
}

static bool encode_clip(const std::vector<float> &samples, int serial, const std::string &path)
{
    std::FILE *out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::perror(path.c_str());
        return false;
    }
    vorbis_info vi;
    vorbis_info_init(&vi);
    // Average 96 kbit/s with no hard upper or lower limit.
    if (vorbis_encode_setup_managed(&vi, 1, long(clip_rate), -1, 96000, -1) != 0 ||
        vorbis_encode_setup_init(&vi) != 0) {
        std::fprintf(stderr, "%s: the Vorbis encoder refused the settings\n", path.c_str());
        vorbis_info_clear(&vi);
        std::fclose(out);
        return false;
    }
    // No comment fields: the header carries the encoder's vendor string only.
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, serial);

    ogg_packet header, header_comment, header_code;
    vorbis_analysis_headerout(&vd, &vc, &header, &header_comment, &header_code);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &header_comment);
    ogg_stream_packetin(&os, &header_code);
    // Audio starts on a page of its own, as the format asks.
    bool done = false;
    bool ok = write_pages(out, &os, true, &done);

    const std::size_t chunk = 1024;
    std::size_t pos = 0;
    while (ok && !done) {
        if (pos < samples.size()) {
            const std::size_t n = std::min(chunk, samples.size() - pos);
            float **buffer = vorbis_analysis_buffer(&vd, int(n));
            for (std::size_t i = 0; i < n; i++)
                buffer[0][i] = samples[pos + i];
            vorbis_analysis_wrote(&vd, int(n));
            pos += n;
        } else {
            vorbis_analysis_wrote(&vd, 0);
        }
        while (ok && vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (ok && vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                ok = write_pages(out, &os, false, &done);
            }
        }
    }

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    if (std::fclose(out) != 0)
        ok = false;
    if (!ok)
        std::fprintf(stderr, "%s: could not write the clip\n", path.c_str());
    return ok;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    for (int s = 1; s <= 6; s++) {
        const std::vector<float> samples = render_clip(s);
        const std::string path = dir + "/" + clip_name[s - 1] + ".ogg";
        if (!encode_clip(samples, serial_base + s, path))
            return 1;
        std::printf("%s: %.4f Hz, %.2f s\n", path.c_str(), string_hz(s),
                    double(samples.size()) / clip_rate);
    }
    return 0;
}
