#include "app/tuner_state.h"

Uint8 strselect = 1;
Sint16 volume = 64;
Uint8 unidad_volume = 4;
Uint8 fps = 30;

Uint8 pushing;
Uint8 salir;
volatile std::sig_atomic_t signalled;
Uint8 *key;

SDL_Surface *screen;
SDL_Surface *background;
Uint16 show_volume_bar;
Uint16 show_credits_screen;
char valor[10];
SDL_Rect src_rect;

Mix_Music *strings[6];
SDL_RWops *clip_rw[6];
