// SDL 1.2 calls that the browser's SDL implements but its headers, which are SDL 1.3's,
// no longer declare. Put before every source of the program (-include), so the program's
// sources stay as they are.
#pragma once

#include <SDL/SDL.h>

#ifdef __cplusplus
extern "C" {
#endif
Uint8 *SDL_GetKeyState(int *numkeys);
#ifdef __cplusplus
}
#endif
