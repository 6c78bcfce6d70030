// What the browser's SDL lacks or gets wrong for the tuner, supplied here so that the
// tuner's own sources build unchanged: the 16-bit colours, memory readers that the
// SDL_RWseek and SDL_RWclose macros can call through, error texts, a flip that gives the
// page back to the browser until the next displayed frame, and the music, played with
// Web Audio. The JavaScript halves live in port.js.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <emscripten.h>

#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>
#include <ivorbisfile.h>

#include <vector>

#include "app/tuner_state.h"

extern "C" {
// port.js
void tuner_next_frame();                        // waits for the next animation frame
int tuner_audio_open();                         // 0, or -1 with the reason set
void tuner_audio_close();
int tuner_audio_clip(const float *samples, int frames, int rate); // the sound's id, or 0 with the reason set
void tuner_audio_play(int clip);                // loops the clip from its start
void tuner_audio_halt();
int tuner_audio_playing();
void tuner_audio_volume(int volume);            // 0 to 128, as SDL_mixer counts it
void tuner_state(int title, int string, int playing, int volume, int overlay); // for the words
}

// --- Errors -------------------------------------------------------------------------------
// The browser's SDL forgets every error it is told, so a failure would print "unknown
// SDL-emscripten error"; the tuner's error lines need the reason.

static char error_text[256]; // port.js writes into it too: keep its size there

extern "C" void SDL_SetError(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vsnprintf(error_text, sizeof error_text, fmt, args);
    va_end(args);
}

extern "C" const char *SDL_GetError(void)
{
    return error_text;
}

// port.js writes the reasons of its failures here.
extern "C" EMSCRIPTEN_KEEPALIVE char *tuner_error_text(void)
{
    return error_text;
}

// --- Colours -------------------------------------------------------------------------------
// The browser's surfaces are 32-bit canvases whatever depth is asked for. The tuner's
// display is 16-bit, 5-6-5: every colour is cut to that and widened back the way the
// desktop shows a 16-bit picture (the top bits repeated), so the page shows the very
// pixels the desktop and the handheld show.

static Uint32 colour565(Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    unsigned r5 = r >> 3, g6 = g >> 2, b5 = b >> 3;
    unsigned r8 = (r5 << 3) | (r5 >> 2), g8 = (g6 << 2) | (g6 >> 4), b8 = (b5 << 3) | (b5 >> 2);
    // The canvas's byte order: red first, alpha last.
    return r8 | g8 << 8 | b8 << 16 | Uint32(a) << 24;
}

extern "C" Uint32 SDL_MapRGB(const SDL_PixelFormat *, Uint8 r, Uint8 g, Uint8 b)
{
    return colour565(r, g, b, 255);
}

extern "C" Uint32 SDL_MapRGBA(const SDL_PixelFormat *, Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    return colour565(r, g, b, a);
}

// --- The flip ----------------------------------------------------------------------------
// The tuner's loop never ends by itself, and a page must hand control back to the browser
// to be drawn at all: each flip waits for the next displayed frame, so one pass runs per
// frame and the browser paints what the flip shows.
//
// Each flip also tells the page the tuner's own state, which it puts into words beside the
// picture: the title until the first pass has read the keys, the chosen string, whether
// its note plays, the volume, and whether the flip shows the volume overlay. That is
// drawn in the pass whose countdown was running when the pass began: still running now,
// or just run out.

static int overlay_left; // the overlay's countdown at the previous flip

extern "C" int SDL_Flip(SDL_Surface *)
{
    const bool overlay = show_volume_bar > 0 || overlay_left > 0;
    overlay_left = show_volume_bar;
    tuner_state(key == nullptr, strselect, Mix_PlayingMusic(), volume, overlay);
    tuner_next_frame();
    return 0;
}

// --- Memory readers ---------------------------------------------------------------------
// The browser's SDL_RWFromConstMem returns a number, not a reader, and the SDL_RWseek and
// SDL_RWclose macros call through the reader's own functions. These are real ones, which
// the decoder reads through as well.

static long mem_seek(SDL_RWops *rw, long offset, int whence)
{
    Uint8 *base = rw->hidden.mem.base, *stop = rw->hidden.mem.stop;
    Uint8 *from = whence == RW_SEEK_SET ? base : whence == RW_SEEK_CUR ? rw->hidden.mem.here : stop;
    long at = long(from - base) + offset;
    if (at < 0)
        at = 0;
    if (at > stop - base)
        at = long(stop - base);
    rw->hidden.mem.here = base + at;
    return at;
}

static size_t mem_read(SDL_RWops *rw, void *to, size_t size, size_t count)
{
    size_t left = size_t(rw->hidden.mem.stop - rw->hidden.mem.here);
    size_t n = size ? (left / size < count ? left / size : count) : 0;
    std::memcpy(to, rw->hidden.mem.here, n * size);
    rw->hidden.mem.here += n * size;
    return n;
}

static size_t mem_write(SDL_RWops *, const void *, size_t, size_t)
{
    SDL_SetError("the clips cannot be written");
    return 0;
}

static int mem_close(SDL_RWops *rw)
{
    std::free(rw);
    return 0;
}

extern "C" SDL_RWops *SDL_RWFromConstMem(const void *mem, int size)
{
    auto *rw = static_cast<SDL_RWops *>(std::calloc(1, sizeof(SDL_RWops)));
    if (!rw) {
        SDL_SetError("out of memory");
        return nullptr;
    }
    rw->seek = mem_seek;
    rw->read = mem_read;
    rw->write = mem_write;
    rw->close = mem_close;
    rw->hidden.mem.base = static_cast<Uint8 *>(const_cast<void *>(mem));
    rw->hidden.mem.here = rw->hidden.mem.base;
    rw->hidden.mem.stop = rw->hidden.mem.base + size;
    return rw;
}

// --- Music ---------------------------------------------------------------------------------
// SDL_mixer's music, the calls the tuner makes, over Web Audio. A clip is decoded whole when
// it is loaded, by tremor, the handheld's decoder, so the page plays the handheld's very
// samples in every browser, and a clip that does not decode fails its loading, as with
// SDL_mixer. The same bytes are decoded once: the tuner reopens the played clip at every
// press.

struct _Mix_Music {
    int clip; // port.js's id of the decoded sound
};

static int music_volume = MIX_MAX_VOLUME;
static Mix_Music *playing;

// Decoded clips by the address and length of their bytes.
struct decoded {
    const Uint8 *bytes;
    int length;
    int clip;
};
static std::vector<decoded> decoded_clips;

// tremor reads the clip through its memory reader.
static size_t clip_read(void *to, size_t size, size_t count, void *rw)
{
    return mem_read(static_cast<SDL_RWops *>(rw), to, size, count);
}

// Like fseek: 0, and a memory reader cannot fail.
static int clip_seek(void *rw, ogg_int64_t offset, int whence)
{
    mem_seek(static_cast<SDL_RWops *>(rw), long(offset), whence);
    return 0;
}

static long clip_tell(void *rw)
{
    return mem_seek(static_cast<SDL_RWops *>(rw), 0, RW_SEEK_CUR);
}

static int decode_clip(SDL_RWops *rw)
{
    OggVorbis_File vf;
    ov_callbacks io = {clip_read, clip_seek, nullptr, clip_tell};
    if (int e = ov_open_callbacks(rw, &vf, nullptr, 0, io)) {
        SDL_SetError("it is not an Ogg Vorbis stream that decodes (error %d)", e);
        return 0;
    }
    const vorbis_info *info = ov_info(&vf, -1);
    const int channels = info->channels, rate = int(info->rate);
    std::vector<float> mono;
    std::vector<ogg_int16_t> block(4096);
    int section, got;
    while ((got = int(ov_read(&vf, reinterpret_cast<char *>(block.data()), int(block.size() * 2), &section))) != 0) {
        if (got < 0) {
            if (got == OV_HOLE) // a lost page: tremor goes on after it, as SDL_mixer does
                continue;
            SDL_SetError("it breaks off after %.2f s (error %d)", double(mono.size()) / rate, got);
            ov_clear(&vf);
            return 0;
        }
        // The notes are mono; anything else is mixed down, as one channel is all Web Audio
        // needs to play it on both speakers.
        for (int i = 0; i + channels <= got / 2; i += channels) {
            int sum = 0;
            for (int c = 0; c < channels; c++)
                sum += block[std::size_t(i + c)];
            mono.push_back(float(sum) / float(channels * 32768));
        }
    }
    ov_clear(&vf);
    return tuner_audio_clip(mono.data(), int(mono.size()), rate);
}

extern "C" int Mix_OpenAudio(int, Uint16, int, int)
{
    return tuner_audio_open();
}

extern "C" void Mix_CloseAudio(void)
{
    tuner_audio_close();
    decoded_clips.clear();
}

extern "C" Mix_Music *Mix_LoadMUS_RW(SDL_RWops *rw)
{
    if (!rw) {
        SDL_SetError("no clip to load");
        return nullptr;
    }
    const Uint8 *bytes = rw->hidden.mem.here;
    const int length = int(rw->hidden.mem.stop - bytes);
    int clip = 0;
    for (const decoded &d : decoded_clips) {
        if (d.bytes == bytes && d.length == length) {
            clip = d.clip;
            break;
        }
    }
    if (!clip) {
        clip = decode_clip(rw);
        if (!clip)
            return nullptr;
        decoded_clips.push_back({bytes, length, clip});
    }
    auto *music = static_cast<Mix_Music *>(std::malloc(sizeof(Mix_Music)));
    if (!music) {
        SDL_SetError("out of memory");
        return nullptr;
    }
    music->clip = clip;
    return music;
}

extern "C" int Mix_PlayMusic(Mix_Music *music, int)
{
    if (!music) {
        SDL_SetError("no music to play");
        return -1;
    }
    playing = music;
    tuner_audio_play(music->clip);
    return 0;
}

extern "C" int Mix_HaltMusic(void)
{
    playing = nullptr;
    tuner_audio_halt();
    return 0;
}

extern "C" int Mix_PlayingMusic(void)
{
    return playing && tuner_audio_playing();
}

extern "C" int Mix_VolumeMusic(int volume)
{
    int before = music_volume;
    if (volume >= 0) {
        music_volume = volume > MIX_MAX_VOLUME ? MIX_MAX_VOLUME : volume;
        tuner_audio_volume(music_volume);
    }
    return before;
}

extern "C" void Mix_FreeMusic(Mix_Music *music)
{
    if (!music)
        return;
    if (music == playing)
        Mix_HaltMusic();
    std::free(music);
}
