// The browser's side of SDL 1.2's time and flip for the tuner, so that the tuner's own
// sources build unchanged over Debian's SDL 1.2 and its canvas driver (sdl/): time, and
// the wait for the next frame at each flip. Its JavaScript half is port.js; the music is
// mixer.cpp's.
#include <emscripten.h>

#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>

#include "app/tuner_state.h"
#include "gfx/draw.h"
#include "port.h"

extern "C" {
// port.js
void tuner_sleep(int ms, int decoding);        // for ms, or until the next frame when ms < 0;
                                                // decoding: clips are left to decode meanwhile
void tuner_state(int title, int string, int playing, int volume, int overlay,
                 int shown);                    // for the keys, and for the words when shown
// sdl/canvasvideo.js
int tuner_keys_waiting(void);                   // whether the page has keys the tuner has not seen
}

// --- Time ---------------------------------------------------------------------------------
// SDL's timer for a system without one busy-waits, and a page that never gives the browser
// control back shows nothing: a wait gives the page back to the browser for its length.

extern "C" Uint32 SDL_GetTicks(void)
{
    static const double start = emscripten_get_now();
    return Uint32(emscripten_get_now() - start);
}

static double awake_since; // when the page last gave the tuner control back (0: its start)

// Every wait of the program's goes through here.
static void wait_in_page(int ms)
{
    tuner_sleep(ms, decoding_left());
    awake_since = emscripten_get_now();
}

extern "C" void SDL_Delay(Uint32 ms)
{
    wait_in_page(int(ms));
}

// Opening the sound and loading a clip give the page back for a moment when the tuner has
// run for a while without a wait, as at its start, so that no task holds the page up for
// long on a slow phone: at a quarter of a desktop's speed, the start before the credits is
// a fifth of a second in one piece, and its steps (the program compiled and SDL started,
// the noise field built, the clips' headers read and the title drawn) a few tens each.
void breathe()
{
    if (emscripten_get_now() - awake_since > 10)
        wait_in_page(0);
}

// --- The flip ----------------------------------------------------------------------------
// The tuner's loop never ends by itself, and a page must hand control back to the browser
// to be drawn at all. The tuner's calls of SDL_Flip come here (the link wraps it): SDL's
// own flip puts the frame on the canvas (sdl/canvasvideo.c), and then the page waits for
// the next displayed frame, so one pass runs per frame and the browser paints what the
// flip showed. Waiting here rather than in the driver keeps the wait on a road of direct
// calls, the only ones the program's pauses are built for.
//
// While the page has keys waiting, the next pass of the tuner's loop runs at once instead:
// a string played on the picture is up to four presses, each held for a pass and released
// for one, and at a pass a frame a string three away would sound seven frames after the
// tap. The browser paints only once the page gives control back, so those passes' flips
// are left out and the last one shows the picture. Sixteen passes in a row are a string's
// presses from anywhere, the title's Return among them; then the page waits for a frame,
// so that a burst of presses (the page keeps 32 at most) still lets the browser draw and
// take input between its parts. The title's one flip is always shown: its wait is the
// credits' own.
//
// Each flip also tells the page the tuner's own state: the title until the first pass has
// read the keys, the chosen string, whether its note plays, the volume, and whether the
// flip shows the volume overlay. That is drawn in the pass whose countdown was running
// when the pass began: still running now, or just run out. The keys read the title and
// the string at every pass; the words follow what is shown.

static int overlay_left; // the overlay's countdown at the previous flip
static int run_on;       // passes run since the page last waited for a frame
constexpr int most_in_a_row = 16;

extern "C" int __real_SDL_Flip(SDL_Surface *screen);

extern "C" int __wrap_SDL_Flip(SDL_Surface *screen)
{
    const bool shown = key == nullptr || !tuner_keys_waiting() || run_on == most_in_a_row - 1;
    const int status = shown ? __real_SDL_Flip(screen) : 0;
    const bool overlay = show_volume_bar > 0 || overlay_left > 0;
    overlay_left = show_volume_bar;
    tuner_state(key == nullptr, strselect, Mix_PlayingMusic(), volume, overlay, shown);
    if (!shown) {
        run_on++;
        return status;
    }
    run_on = 0;
    wait_in_page(-1);
    return status;
}

// --- The picture's strings ---------------------------------------------------------------
// The string whose place in the picture is under column x (a fraction of a pixel when the
// page scales the picture): the band from halfway to the column on its left to halfway to
// the one on its right, as draw_strings places them, the outermost reaching the edges.
extern "C" EMSCRIPTEN_KEEPALIVE int tuner_string_at(double x)
{
    const auto middle = [](int i) { return column_x(i) + column_w(i) / 2.0; };
    int i = 0;
    while (i < 5 && x >= (middle(i) + middle(i + 1)) / 2)
        i++;
    return 6 - i;
}
