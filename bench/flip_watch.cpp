// Linked with -Wl,--wrap=SDL_Flip: every flip the program makes lands here first, so a
// benchmark can stop the clock, or the count driver leave, at the exact first flip.
#include "bench_support.h"

unsigned long flip_count;
void (*after_flip)();

extern "C" int __real_SDL_Flip(SDL_Surface *surface);

extern "C" int __wrap_SDL_Flip(SDL_Surface *surface)
{
    int result = __real_SDL_Flip(surface);
    flip_count++;
    if (after_flip)
        after_flip();
    return result;
}
