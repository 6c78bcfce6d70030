#include <SDL/SDL.h>
#ifdef TUNER_TREMOR
#include <tremor/ivorbisfile.h>
#else
#include <vorbis/vorbisfile.h>
#endif

#include "decode.h"

// SDL_mixer's Ogg music reads its stream through an SDL_RWops with these callbacks and
// decodes it in 4,096-byte reads of signed 16-bit little-endian samples; so does this.
static size_t rw_read(void *ptr, size_t size, size_t nmemb, void *source)
{
    return size_t(SDL_RWread(static_cast<SDL_RWops *>(source), ptr, int(size), int(nmemb)));
}

static int rw_seek(void *source, ogg_int64_t offset, int whence)
{
    return SDL_RWseek(static_cast<SDL_RWops *>(source), int(offset), whence);
}

static long rw_tell(void *source)
{
    return SDL_RWtell(static_cast<SDL_RWops *>(source));
}

static const ov_callbacks rw_callbacks = {rw_read, rw_seek, nullptr, rw_tell};

double decode_clip(const unsigned char *data, unsigned int len)
{
    SDL_RWops *rw = SDL_RWFromConstMem(data, int(len));
    if (!rw)
        return -1;
    OggVorbis_File vf;
    if (ov_open_callbacks(rw, &vf, nullptr, 0, rw_callbacks) != 0) {
        SDL_RWclose(rw);
        return -1;
    }
    double seconds = double(ov_pcm_total(&vf, -1)) / double(ov_info(&vf, -1)->rate);
    char buffer[4096];
    int section;
    long got;
#ifdef TUNER_TREMOR
    // tremor decodes only to signed 16-bit samples in the machine's own byte order.
    while ((got = ov_read(&vf, buffer, sizeof buffer, &section)) > 0) {
    }
#else
    while ((got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &section)) > 0) {
    }
#endif
    ov_clear(&vf);
    SDL_RWclose(rw);
    return got < 0 ? -1 : seconds;
}
