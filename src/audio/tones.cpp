#include "audio/tones.h"
#include "app/tuner_state.h"
#include "audio/tone_clips.h"

static const unsigned char *const clip_data[6] = {
    s1eArray, s2bArray, s3gArray, s4dArray, s5aArray, s6eArray,
};
static const unsigned int *const clip_len[6] = {
    &s1eArray_len, &s2bArray_len, &s3gArray_len, &s4dArray_len, &s5aArray_len, &s6eArray_len,
};

void initvars()
{
    Mix_VolumeMusic(volume);
}

// The mixer reads a clip's stream for as long as it plays, so each reader stays open
// until its music has been freed.
void load_clips()
{
    for (int i = 0; i < 6; i++) {
        clip_rw[i] = SDL_RWFromConstMem(clip_data[i], int(*clip_len[i]));
        if (!clip_rw[i])
            return;
        strings[i] = Mix_LoadMUS_RW(clip_rw[i]);
        if (!strings[i])
            return;
    }
}

// SDL_mixer 1.2 resumes an Ogg clip wherever its decoder last stopped, through a halt
// and through Mix_PlayMusic alike, and even a rewind lets the decoded remainder play
// first. Only a freshly opened clip sounds from the pluck, so the selected note is
// reopened over its bytes each time it is played.
void play_string()
{
    int i = strselect - 1;
    Mix_FreeMusic(strings[i]);
    SDL_RWseek(clip_rw[i], 0, RW_SEEK_SET);
    strings[i] = Mix_LoadMUS_RW(clip_rw[i]);
    Mix_PlayMusic(strings[i], -1);
}

void free_resources()
{
    for (int i = 0; i < 6; i++) {
        if (strings[i])
            Mix_FreeMusic(strings[i]);
        strings[i] = nullptr;
        if (clip_rw[i])
            SDL_RWclose(clip_rw[i]);
        clip_rw[i] = nullptr;
    }
}
