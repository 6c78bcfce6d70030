#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/tuner.h"
#include "app/tuner_state.h"
#include "audio/tones.h"
#include "gfx/draw.h"

// SDL 1.2 turns SIGINT and SIGTERM into quit events, but the tuner never takes events
// from the queue (a window-close request must not end it), so those signals would be
// lost. Installed before SDL_Init, these handlers keep SDL from claiming the signals,
// and the run ends through the normal shutdown instead. That shutdown can only begin
// once start-up returns, and start-up can wait a long time on a sound server or a
// display that never answers: so a second signal ends the program at once, by the
// signal's own default action, as a player pressing Ctrl-C again expects.
static void on_signal(int sig)
{
    if (signalled) {
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
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
// has set is kept, so GL can still be chosen. sdl12-compat scales its window
// smoothly by default, which blurs the 8 x 8 text; nearest-neighbour keeps every
// pixel a sharp square block.
static void prefer_software_presentation()
{
    setenv("SDL_RENDER_DRIVER", "software", 0);
    setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
    setenv("SDL12COMPAT_SCALE_METHOD", "nearest", 0);
}

// Where no display can be opened (no DISPLAY, from a console, over ssh, from a
// service), SDL 2 falls back to its offscreen or dummy video, which show nothing: the
// tuner would run unseen, a whole core busy, until killed. SDL 1.2.15 takes those
// only when asked by name, and so does this check: a driver the user named is used.
static bool video_shows_nothing()
{
    const char *asked = getenv("SDL_VIDEODRIVER");
    if (asked && *asked)
        return false;
    char name[32];
    if (!SDL_VideoDriverName(name, sizeof name))
        return false;
    if (strcmp(name, "offscreen") != 0 && strcmp(name, "dummy") != 0)
        return false;
    SDL_SetError("No display could be opened, and SDL's %s video shows nothing", name);
    return true;
}

// The window's whole-number scale: as large as leaves it within about two thirds of
// the screen, so that it is big enough to read and still leaves room beside it.
static int window_scale(int screen_width, int screen_height)
{
    int scale = std::min(screen_width * 2 / 3 / screen_w, screen_height * 2 / 3 / screen_h);
    return std::max(scale, 1);
}

// At 320 x 240 the window is a stamp on a desktop's screen. sdl12-compat can scale it
// itself, and reads its factor when the video mode is set; the screen's size is known
// once video has started (SDL_GetVideoInfo gives the desktop's size before any mode is
// set). A factor the user has set is kept. SDL 1.2.15 reads no factor and cannot
// scale: its window stays 320 x 240 whatever this sets.
static void scale_window()
{
    if (getenv("SDL12COMPAT_WINDOW_SCALING"))
        return;
    const SDL_VideoInfo *info = SDL_GetVideoInfo();
    int scale = info ? window_scale(info->current_w, info->current_h) : 1;
    char factor[12];
    snprintf(factor, sizeof factor, "%d", scale);
    setenv("SDL12COMPAT_WINDOW_SCALING", factor, 1);
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
    if (video_shows_nothing()) {
        printf("Error: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    scale_window();
    SDL_InitSubSystem(SDL_INIT_AUDIO);
    SDL_ShowCursor(SDL_DISABLE);
    screen = SDL_SetVideoMode(screen_w, screen_h, screen_bpp, SDL_SWSURFACE);
    if (!screen) {
        printf("Error: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    // From here on SDL holds the display: a text-mode driver has the terminal on its
    // alternate screen, its cursor hidden. Every failure gives it back before returning.
    if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024) == -1) {
        printf("Error initializing SDL_mixer: %s\n", SDL_GetError());
        SDL_Quit();
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
