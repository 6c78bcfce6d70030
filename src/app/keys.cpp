#include "app/tuner.h"
#include "app/tuner_state.h"
#include "audio/tones.h"

// Keys that hold the latch: while any of them is down, no key acts again. Tab is left
// out so that a held Tab can quit in the very pass the last of these is released.
static bool release_set_held()
{
    return key[SDLK_LEFT] || key[SDLK_RIGHT] || key[SDLK_LCTRL] || key[SDLK_UP] ||
           key[SDLK_DOWN] || key[SDLK_ESCAPE];
}

void keys_handler()
{
    key = SDL_GetKeyState(nullptr);
    if (!release_set_held())
        pushing = 0;

    if (key[SDLK_LEFT] && !pushing) {
        strselect = strselect < 6 ? strselect + 1 : 1;
        Mix_HaltMusic();
        pushing = 1;
        return;
    }
    if (key[SDLK_RIGHT] && !pushing) {
        strselect = strselect < 2 ? 6 : strselect - 1;
        Mix_HaltMusic();
        pushing = 1;
        return;
    }
    if (key[SDLK_LCTRL] && !pushing) {
        play_string();
        pushing = 1;
        return;
    }

    if (key[SDLK_UP] && !pushing) {
        if (volume < 128) {
            volume = Sint16(volume + unidad_volume);
            Mix_VolumeMusic(volume <= 128 ? volume : 128);
        }
        pushing = 1;
        show_volume_bar = Uint16(fps << 3);
    }
    if (key[SDLK_DOWN] && !pushing) {
        if (volume > 0) {
            volume = Sint16(volume - unidad_volume);
            Mix_VolumeMusic(volume < 0 ? 0 : volume);
        }
        pushing = 1;
        show_volume_bar = Uint16(fps << 3);
    }
    if (key[SDLK_TAB] && !pushing) {
        salir = 1;
        pushing = 1;
    }
}
