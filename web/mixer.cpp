// SDL_mixer's music, the calls the tuner makes, over Web Audio, so that the tuner's own
// sources build unchanged over SDL_mixer's own header; its JavaScript half is mixer.js. A
// clip is decoded by tremor, the handheld's decoder, so the page plays the handheld's very
// samples in every browser. Loading reads a clip's headers, as SDL_mixer's does, and a clip
// whose headers do not decode fails its loading. The rest is decoded a slice at a time
// while the tuner waits (port.js calls tuner_decode then), and what is left of a clip at
// once when it is first played; then the whole clip becomes a Web Audio sound. The same
// bytes are decoded once: the tuner reopens the played clip at every press.
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <emscripten.h>

#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>
#include <ivorbisfile.h>

#include "port.h"

extern "C" {
// mixer.js
int tuner_audio_open();                         // 0, or -1 with the reason set
void tuner_audio_close();
int tuner_audio_clip(const float *samples, int frames, int rate); // the sound's id
void tuner_audio_play(int sound);               // loops the sound from its start
void tuner_audio_halt();
int tuner_audio_playing();
void tuner_audio_volume(int volume);            // 0 to 128, as SDL_mixer counts it
}

// mixer.js writes the reasons of its failures here, for SDL_GetError to tell, at most as
// many bytes as it is told.
static char reason[256];

extern "C" EMSCRIPTEN_KEEPALIVE char *tuner_reason(void)
{
    return reason;
}

extern "C" EMSCRIPTEN_KEEPALIVE int tuner_reason_size(void)
{
    return sizeof reason;
}

struct clip {
    const Uint8 *bytes;         // the clip, as loaded
    int length;
    const Uint8 *here;          // where the decoder reads next
    OggVorbis_File vf;          // its headers read at loading, opened to decode at the first slice
    bool decoding;
    bool opened;
    int rate;
    int channels;
    std::vector<float> samples; // room for the clip, mixed down to one channel
    size_t decoded;             // how many samples of it are decoded
    int sound;                  // mixer.js's sound once the whole clip is decoded, else 0
};
static std::vector<std::unique_ptr<clip>> clips;

struct _Mix_Music {
    clip *of;
};

static int music_volume = MIX_MAX_VOLUME;
static Mix_Music *playing;

static size_t clip_read(void *to, size_t size, size_t count, void *from)
{
    clip *c = static_cast<clip *>(from);
    const size_t left = size_t(c->bytes + c->length - c->here);
    const size_t n = size ? (left / size < count ? left / size : count) : 0;
    std::memcpy(to, c->here, n * size);
    c->here += n * size;
    return n;
}

// Like fseek: 0, and a clip in memory cannot fail.
static int clip_seek(void *from, ogg_int64_t offset, int whence)
{
    clip *c = static_cast<clip *>(from);
    const ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? c->here - c->bytes : c->length;
    const ogg_int64_t at = base + offset;
    c->here = c->bytes + (at < 0 ? 0 : at > c->length ? c->length : at);
    return 0;
}

static long clip_tell(void *from)
{
    clip *c = static_cast<clip *>(from);
    return long(c->here - c->bytes);
}

// Decodes until the clip is a sound or `until` (emscripten_get_now's clock) has passed. A
// clip that breaks off plays what came before the break, as SDL_mixer plays it. Each of
// the longer steps (opening the decoder, and handing the sound over) starts only while
// there is time, so that a slice stays short.
static void decode(clip &c, double until)
{
    static ogg_int16_t block[4096];
    int section;
    // Opening the decoder (its tables, and the stream's length from its end) waits for the
    // first slice, and makes room for all the clip's samples at once, rather than copying
    // them again as they grow. Its headers have decoded, so this fails only on a stream
    // that breaks off after them, which then plays nothing.
    if (c.decoding && !c.opened && emscripten_get_now() < until) {
        c.opened = true;
        if (ov_test_open(&c.vf) == 0) {
            const ogg_int64_t frames = ov_pcm_total(&c.vf, -1);
            if (frames > 0)
                c.samples.resize(size_t(frames));
        } else {
            ov_clear(&c.vf);
            c.decoding = false;
        }
    }
    while (c.decoding && emscripten_get_now() < until) {
        const long got = ov_read(&c.vf, reinterpret_cast<char *>(block), int(sizeof block), &section);
        if (got == OV_HOLE) // a lost page: tremor goes on after it, as SDL_mixer does
            continue;
        if (got <= 0) {
            ov_clear(&c.vf);
            c.decoding = false;
            break;
        }
        // The notes are mono; anything else is mixed down, as one channel is all Web Audio
        // needs to play it on both speakers. A stream longer than it said grows its room.
        const size_t frames = size_t(got / 2 / c.channels);
        if (c.decoded + frames > c.samples.size())
            c.samples.resize(c.decoded + frames);
        float *to = c.samples.data() + c.decoded;
        for (size_t f = 0; f < frames; f++) {
            int sum = 0;
            for (int ch = 0; ch < c.channels; ch++)
                sum += block[f * size_t(c.channels) + size_t(ch)];
            to[f] = float(sum) / float(c.channels * 32768);
        }
        c.decoded += frames;
    }
    if (!c.decoding && !c.sound && emscripten_get_now() < until) {
        c.sound = tuner_audio_clip(c.samples.data(), int(c.decoded), c.rate);
        std::vector<float>().swap(c.samples);
    }
}

// Whether a clip is still to become a sound.
bool decoding_left()
{
    for (auto &c : clips) {
        if (!c->sound)
            return true;
    }
    return false;
}

// Decodes for at most `ms`, the clips in the order they were loaded: 1 while any is left.
extern "C" EMSCRIPTEN_KEEPALIVE int tuner_decode(double ms)
{
    const double until = emscripten_get_now() + ms;
    for (auto &c : clips)
        decode(*c, until);
    return decoding_left();
}

extern "C" int Mix_OpenAudio(int, Uint16, int, int)
{
    breathe();
    if (tuner_audio_open() == -1) {
        SDL_SetError("%s", reason);
        return -1;
    }
    return 0;
}

// The decoded sounds go with the audio device: they are the clips' memory.
extern "C" void Mix_CloseAudio(void)
{
    tuner_audio_close();
    for (auto &c : clips) {
        if (c->decoding)
            ov_clear(&c->vf);
    }
    clips.clear();
}

extern "C" Mix_Music *Mix_LoadMUS_RW(SDL_RWops *rw)
{
    if (!rw) {
        SDL_SetError("no clip to load");
        return nullptr;
    }
    const Uint8 *bytes = rw->hidden.mem.here;
    const int length = int(rw->hidden.mem.stop - bytes);
    clip *found = nullptr;
    for (auto &c : clips) {
        if (c->bytes == bytes && c->length == length)
            found = c.get();
    }
    if (!found) {
        breathe();
        auto c = std::make_unique<clip>();
        c->bytes = c->here = bytes;
        c->length = length;
        ov_callbacks io = {clip_read, clip_seek, nullptr, clip_tell};
        if (int e = ov_test_callbacks(c.get(), &c->vf, nullptr, 0, io)) {
            SDL_SetError("it is not an Ogg Vorbis stream that decodes (error %d)", e);
            return nullptr;
        }
        const vorbis_info *info = ov_info(&c->vf, -1);
        c->rate = int(info->rate);
        c->channels = info->channels;
        c->decoding = true;
        found = c.get();
        clips.push_back(std::move(c));
    }
    auto *music = new (std::nothrow) Mix_Music{found};
    if (!music)
        SDL_SetError("out of memory");
    return music;
}

extern "C" int Mix_PlayMusic(Mix_Music *music, int)
{
    if (!music) {
        SDL_SetError("no music to play");
        return -1;
    }
    decode(*music->of, emscripten_get_now() + 1e9);
    playing = music;
    tuner_audio_play(music->of->sound);
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
    delete music;
}
