#include <cstdio>

#include <SDL/SDL_gfxPrimitives.h>

#include "app/tuner_state.h"
#include "gfx/draw.h"

// The outline leaves a pixel between it and the fill on every side at volume 128,
// where the 32 segments reach y 40.
void draw_volume_bar()
{
    SDL_Rect rect;
    Uint32 white = SDL_MapRGBA(screen->format, 255, 255, 255, 255);

    SDL_FillRect(screen, def_rect(&rect, 22, 38, 20, 1), white);
    SDL_FillRect(screen, def_rect(&rect, 22, 201, 20, 1), white);
    SDL_FillRect(screen, def_rect(&rect, 22, 38, 1, 163), white);
    SDL_FillRect(screen, def_rect(&rect, 41, 38, 1, 163), white);
    SDL_FillRect(screen, def_rect(&rect, 31, 26, 2, 8), white);
    SDL_FillRect(screen, def_rect(&rect, 28, 29, 8, 2), white);
    SDL_FillRect(screen, def_rect(&rect, 28, 209, 8, 2), white);

    // One or two digits, right-aligned to end at x 18, left of the bar.
    snprintf(valor, sizeof valor, "%d", volume / 4);
    stringRGBA(screen, volume < 40 ? 11 : 3, 117, valor, 255, 255, 255, 255);

    int y = 195;
    for (int level = volume; level > 0; level -= unidad_volume) {
        SDL_FillRect(screen, def_rect(&rect, 24, y, 16, 5), white);
        y -= 5;
    }
}
