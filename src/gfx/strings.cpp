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

// The playing string is left out of its column and drawn somewhere from 16 pixels left to
// 15 right of it, so it seems to shake. The marker is centred under the column.
void draw_strings()
{
    const int selected = 6 - strselect;
    for (int i = 0; i < 6; i++) {
        if (Mix_PlayingMusic() && i == selected)
            continue;
        SDL_FillRect(screen, def_rect(&src_rect, column_x(i), 0, column_w(i), screen_h), random_colour());
    }
    if (Mix_PlayingMusic()) {
        int shake = rand() % 32;
        SDL_FillRect(screen, def_rect(&src_rect, column_x(selected) - 16 + shake, 0, column_w(selected), screen_h),
                     random_colour());
    }
    SDL_FillRect(screen, def_rect(&src_rect, column_x(selected) + column_w(selected) / 2 - 8, 208, 16, 12),
                 SDL_MapRGBA(screen->format, 255, 255, 255, 255));
}
