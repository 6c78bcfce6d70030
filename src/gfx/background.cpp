#include <cstdlib>

#include "app/tuner_state.h"
#include "gfx/draw.h"

SDL_Rect *def_rect(SDL_Rect *rect, int x, int y, int w, int h)
{
    rect->x = Sint16(x);
    rect->y = Sint16(y);
    rect->w = Uint16(w);
    rect->h = Uint16(h);
    return rect;
}

void clear_screen()
{
    SDL_FillRect(screen, nullptr, SDL_MapRGBA(screen->format, 0, 0, 0, 255));
}

// The generator is never seeded: the field is the same on every run, and dim enough
// (no channel above 142) that the strings stand out over it.
void make_background()
{
    background = SDL_CreateRGBSurface(0, screen_w, screen_h, screen_bpp, 0, 0, 0, 0x00FF);
    if (!background)
        return;
    // The alpha mask leaves SDL_SRCALPHA on at alpha 255. SDL 1.2 copies such a surface,
    // but sdl12-compat hands the flag to SDL 2 as blending, which gives the same pixels
    // at sixty times the cost of the copy. Cleared, the scroll is a copy on both.
    SDL_SetAlpha(background, 0, SDL_ALPHA_OPAQUE);
    for (int y = 0; y < screen_h; y++) {
        for (int x = 0; x < screen_w; x++) {
            Uint8 r = Uint8(rand() % 143);
            Uint8 g = Uint8(rand() % 143);
            Uint8 b = Uint8(rand() % 143);
            SDL_FillRect(background, def_rect(&src_rect, x, y, 1, 1),
                         SDL_MapRGBA(screen->format, r, g, b, 255));
        }
    }
}

// The display takes the field shifted down a row, the last row wrapping to the top;
// copying the display back before anything else is drawn keeps the strings out of it.
void scroll_background()
{
    SDL_Rect from, to;
    SDL_BlitSurface(background, def_rect(&from, 0, 0, screen_w, screen_h - 1),
                    screen, def_rect(&to, 0, 1, screen_w, screen_h - 1));
    SDL_BlitSurface(background, def_rect(&from, 0, screen_h - 1, screen_w, 1),
                    screen, def_rect(&to, 0, 0, screen_w, 1));
    SDL_BlitSurface(screen, nullptr, background, nullptr);
}
