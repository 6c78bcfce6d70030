#include <SDL/SDL_gfxPrimitives.h>

#include "app/tuner_state.h"
#include "gfx/draw.h"

static const char title[] = ".-=[ Vessandrel Guitar Tuner ]=-.";
static const char version[] = "             V. 1.0";
static const char author[] = "  (c) 2026, the Vessandrel team";
static const char web[] = "  https://example.org/vessandrel";

// Drawn straight onto the display as the video mode left it, black. The countdown is
// tested before Return, and the latch is left set so that a key held through the
// credits acts only once it has been released and pressed again.
void credits_screen(Sint16 x, Sint16 y)
{
    stringRGBA(screen, x, y, title, 191, 255, 255, 255);
    stringRGBA(screen, x, Sint16(y + 16), version, 127, 159, 159, 255);
    stringRGBA(screen, x, Sint16(y + 46), author, 191, 191, 191, 255);
    stringRGBA(screen, Sint16(x - 4), Sint16(y + 56), web, 127, 127, 127, 255);
    SDL_Flip(screen);

    show_credits_screen = Uint16(fps << 3);
    for (;;) {
        SDL_Delay(20);
        SDL_PumpEvents();
        Uint8 *keys = SDL_GetKeyState(nullptr);
        Uint16 left = show_credits_screen--;
        if (left == 0 || keys[SDLK_RETURN] || signalled)
            break;
    }
    pushing = 1;
}
