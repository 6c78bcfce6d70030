// The tuner's program-wide state. Every subsystem reads and writes these directly;
// the definitions live together in tuner_state.cpp.
#pragma once

#include <csignal>

#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>

// Tunables: their starting values are fixed when the program is built; the keys change
// strselect and volume.
extern Uint8 strselect;          // selected string number, 1 (high e) to 6 (low E)
extern Sint16 volume;            // music volume, 0 to 128 in steps of unidad_volume
extern Uint8 unidad_volume;      // volume step per key press and per overlay segment
extern Uint8 fps;                // frames per second; overlay and credits last fps << 3 passes

// Application frame.
extern Uint8 pushing;            // key latch: set when a key acts, cleared when all are released
extern Uint8 salir;              // quit request; the loop stops after the pass that sets it
extern volatile std::sig_atomic_t signalled; // SIGINT or SIGTERM arrived; ends the run cleanly
extern Uint8 *key;               // SDL's key state array, refreshed every pass; null until
                                 // the first pass after the title (the browser's port reads
                                 // that as the title still showing)

// Screen drawing.
extern SDL_Surface *screen;      // the 320 x 240, 16-bit display surface
extern SDL_Surface *background;  // the noise field, scrolled one row per pass
extern Uint16 show_volume_bar;   // passes in which the volume overlay is still drawn
extern Uint16 show_credits_screen; // countdown of the credits wait
extern char valor[10];           // decimal text of the overlay number
extern SDL_Rect src_rect;        // scratch rectangle of the background build and the strings

// Tone playback.
extern Mix_Music *strings[6];    // the loaded clips, index = string number - 1
extern SDL_RWops *clip_rw[6];    // the memory readers under them, closed after the music is freed

// The screen's geometry, fixed by the handheld.
constexpr int screen_w = 320;
constexpr int screen_h = 240;
constexpr int screen_bpp = 16;
