#include <cstdlib>

#include "app/tuner_state.h"
#include "gfx/draw.h"

static Uint32 random_colour()
{
    Uint8 r = Uint8(rand() % 256);
    Uint8 g = Uint8(rand() % 256);
    Uint8 b = Uint8(rand() % 256);
    return SDL_MapRGBA(screen->format, r, g, b, 255);
}

// Column i shows string 6 - i, thickest on the left. The playing string is left out
// at rest and drawn somewhere from 16 pixels left to 15 right of it, so it seems to shake.
void draw_strings()
{
    for (int i = 0; i < 6; i++) {
        if (Mix_PlayingMusic() && i == 6 - strselect)
            continue;
        SDL_FillRect(screen, def_rect(&src_rect, 60 + 40 * i, 0, 9 - i, screen_h), random_colour());
    }
    if (Mix_PlayingMusic()) {
        int shake = rand() % 32;
        SDL_FillRect(screen, def_rect(&src_rect, 284 - 40 * strselect + shake, 0, strselect + 3, screen_h),
                     random_colour());
    }
    SDL_FillRect(screen, def_rect(&src_rect, 294 - 40 * strselect + (strselect - 1) / 2, 208, 16, 12),
                 SDL_MapRGBA(screen->format, 255, 255, 255, 255));
}
