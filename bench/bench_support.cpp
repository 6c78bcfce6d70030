#include <cstdlib>

#include "app/tuner.h"
#include "app/tuner_state.h"
#include "bench_support.h"
#include "gfx/draw.h"

void use_dummy_drivers()
{
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

void set_key(SDLKey sym, bool held)
{
    SDL_GetKeyState(nullptr)[sym] = held ? 1 : 0;
}

bool tuner_up()
{
    if (start_up() != 0)
        return false;
    // SDL_Init clears the key-state array, so Return can only be held from here on.
    set_key(SDLK_RETURN, true);
    credits_screen(28, 88);
    set_key(SDLK_RETURN, false);
    return true;
}

void tuner_down()
{
    shut_down();
    SDL_FreeSurface(background);
    background = nullptr;
    screen = nullptr;
    salir = 0;
    pushing = 0;
    show_volume_bar = 0;
}
