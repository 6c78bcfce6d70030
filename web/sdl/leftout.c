/* What of SDL 1.2's video code the page leaves out, to keep the page small: the blitters
 * from surfaces of fewer than 16 bits (SDL_blit_0.c, SDL_blit_1.c), those that convert
 * between formats or take a colour key (SDL_blit_N.c), and run-length encoding
 * (SDL_RLEaccel.c), about a third of SDL's code in the page. The tuner's own surfaces are
 * all the display's format, blitted as copies, and SDL_gfx's glyphs 32-bit with alpha,
 * blitted by SDL_blit_A.c; none takes a colour key or asks for run-length encoding, so
 * none of it runs. Were it asked for, SDL goes on as it does on a system that lacks it: a
 * blit it has no blitter for is refused, as SDL refuses any such combination, and a
 * surface that asks to be run-length encoded is blitted as it is. */
#include "SDL_config.h"

#include "SDL_video.h"
#include "SDL_blit.h"
#include "SDL_RLEaccel_c.h"

SDL_loblit SDL_CalculateBlit0(SDL_Surface *surface, int blit_index)
{
	return NULL;
}

SDL_loblit SDL_CalculateBlit1(SDL_Surface *surface, int blit_index)
{
	return NULL;
}

/* Blits with alpha (blit_index 2 and 3) are SDL_blit_A.c's, as SDL_blit_N.c would choose them. */
SDL_loblit SDL_CalculateBlitN(SDL_Surface *surface, int blit_index)
{
	return (blit_index & 2) ? SDL_CalculateAlphaBlit(surface, blit_index) : NULL;
}

/* SDL blits the surface without it, as when encoding fails for want of memory. */
int SDL_RLESurface(SDL_Surface *surface)
{
	return -1;
}

/* No surface is ever encoded, so none is to be decoded, and neither encoded blit is chosen. */
void SDL_UnRLESurface(SDL_Surface *surface, int recode)
{
}

int SDL_RLEBlit(SDL_Surface *src, SDL_Rect *srcrect, SDL_Surface *dst, SDL_Rect *dstrect)
{
	SDL_SetError("Run-length encoding is left out");
	return -1;
}

int SDL_RLEAlphaBlit(SDL_Surface *src, SDL_Rect *srcrect, SDL_Surface *dst, SDL_Rect *dstrect)
{
	SDL_SetError("Run-length encoding is left out");
	return -1;
}
