// What the benchmarks and the instruction-count driver share: the tuner brought up on
// SDL's dummy drivers, keys pressed through SDL's own key-state array, and a watch on
// the display flips (every SDL_Flip is routed through flip_watch.cpp by the linker).
#pragma once

#include <SDL/SDL.h>

// Points SDL at its dummy video and audio drivers; call before anything starts SDL. A
// video driver already chosen in the environment is kept, so that the counts can be
// taken on a real display too.
void use_dummy_drivers();

// start_up() and the credits up to their first flip, with Return held so that the
// credits wait ends after one poll. False when start-up failed.
bool tuner_up();

// shut_down(), plus the background surface the program leaves to the end of the process,
// so that a benchmark can bring the tuner up again and again without growing.
void tuner_down();

void set_key(SDLKey sym, bool held);

// Flips seen so far, and a hook run right after each one returns.
extern unsigned long flip_count;
extern void (*after_flip)();
