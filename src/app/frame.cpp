#include <cstdio>
#include <cstdlib>

#include "app/tuner.h"
#include "app/tuner_state.h"
#include "audio/tones.h"
#include "gfx/draw.h"

// SDL 1.2 turns SIGINT and SIGTERM into quit events, but the tuner never takes events
// from the queue (a window-close request must not end it), so those signals would be
// lost. Installed before SDL_Init, these handlers keep SDL from claiming the signals,
// and the run ends through the normal shutdown instead.
static void on_signal(int)
{
    signalled = 1;
}

static void catch_signals()
{
    struct sigaction sa = {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

// Where SDL 1.2 is sdl12-compat over SDL 2, the 320 x 240 software surface is shown
// through an SDL 2 renderer that asks for acceleration; under X11 that brings up
// OpenGL, in software (llvmpipe) on most machines: several times the tuner's memory
// and a texture upload and GL draw at every flip. Asking SDL 2 for its software
// renderer over a plain framebuffer window keeps all of that out; it takes both
// variables, either alone leaves GL in. SDL 1.2.15 reads neither. A value the user
// has set is kept, so GL can still be chosen.
static void prefer_software_presentation()
{
    setenv("SDL_RENDER_DRIVER", "software", 0);
    setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
}

int start_up()
{
    catch_signals();
    prefer_software_presentation();
    // SDL 1.2 starts its audio subsystem even when no sound driver can be had, and the
    // failure comes out of Mix_OpenAudio; sdl12-compat fails SDL_Init instead. Starting
    // audio apart, its result left to Mix_OpenAudio, reports it the same way on both.
    if (SDL_Init(SDL_INIT_VIDEO) == -1) {
        printf("Error: %s\n", SDL_GetError());
        return 1;
    }
    SDL_InitSubSystem(SDL_INIT_AUDIO);
    SDL_ShowCursor(SDL_DISABLE);
    screen = SDL_SetVideoMode(screen_w, screen_h, screen_bpp, SDL_SWSURFACE);
    if (!screen) {
        printf("Error: %s\n", SDL_GetError());
        return 1;
    }
    if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024) == -1) {
        printf("Error initializing SDL_mixer: %s\n", SDL_GetError());
        return 1;
    }
    initvars();
    if (!load_resources()) {
        Mix_CloseAudio();
        SDL_Quit();
        return 1;
    }
    return 0;
}

bool load_resources()
{
    make_background();
    if (!background) {
        printf("Error creating the background: %s\n", SDL_GetError());
        return false;
    }
    load_clips();
    for (int n = 1; n <= 6; n++) {
        if (!strings[n - 1]) {
            printf("Error loading the note of string %d: %s\n", n, SDL_GetError());
            free_resources();
            return false;
        }
    }
    return true;
}

// The overlay drawn here lies over the picture composed in the previous pass: the
// flip shows both, and only then is the next picture composed.
void run_pass()
{
    keys_handler();
    if (show_volume_bar) {
        draw_volume_bar();
        show_volume_bar--;
    }
    SDL_Flip(screen);
    clear_screen();
    scroll_background();
    draw_strings();
    SDL_PumpEvents();
}

void shut_down()
{
    free_resources();
    Mix_CloseAudio();
    SDL_Quit();
}
