/* SDL 1.2's video driver for the page: the display is a software surface in the program's
 * own memory, 16-bit 5-6-5 as on the handheld, where SDL's own code fills and blits it. At
 * each update the whole display goes to the page's canvas at once, and the keys the page
 * hands over come in through SDL's keyboard events (canvasvideo.js has the page's side of
 * both).
 *
 * SDL 1.2 keeps a fixed list of its video drivers; this one takes the dummy driver's place
 * in it (SDL_config.h, and CMakeLists.txt where the list is compiled). */
#include "SDL_config.h"

#include "SDL_video.h"
#include "SDL_sysvideo.h"
#include "SDL_pixels_c.h"
#include "SDL_events_c.h"

#define _THIS SDL_VideoDevice *_this

struct SDL_PrivateVideoData {
	Uint16 *pixels;      /* the display's own memory */
	Uint32 *frame;       /* the display as the canvas takes it: bytes red, green, blue, alpha */
	Uint32 red[32];      /* each 5-6-5 pixel's red, green and blue bits widened as a 16-bit */
	Uint32 green[64];    /* desktop shows them, in their bytes of the canvas's pixel (red's */
	Uint32 blue[32];     /* with the alpha): small enough to stay in the processor's cache */
};

/* 5, 6 or 5 bits widened to 8 with the top bits repeated in the low ones: the values a
 * desktop's 24-bit screen shows for a 16-bit picture, so the page shows the same pixels. */
static Uint32 widen(Uint32 value, int bits)
{
	return (value << (8 - bits)) | (value >> (2 * bits - 8));
}

static int CANVAS_VideoInit(_THIS, SDL_PixelFormat *vformat)
{
	Uint32 v;

	for (v = 0; v < 64; v++) {
		if (v < 32) {
			_this->hidden->red[v] = widen(v, 5) | 0xFF000000u;
			_this->hidden->blue[v] = widen(v, 5) << 16;
		}
		_this->hidden->green[v] = widen(v, 6) << 8;
	}
	vformat->BitsPerPixel = 16;
	vformat->BytesPerPixel = 2;
	vformat->Rmask = 0xF800;
	vformat->Gmask = 0x07E0;
	vformat->Bmask = 0x001F;
	return 0;
}

/* Any size: the page scales whatever the canvas holds. */
static SDL_Rect **CANVAS_ListModes(_THIS, SDL_PixelFormat *format, Uint32 flags)
{
	return (SDL_Rect **)-1;
}

static void free_display(_THIS)
{
	SDL_free(_this->hidden->pixels);
	SDL_free(_this->hidden->frame);
	_this->hidden->pixels = NULL;
	_this->hidden->frame = NULL;
}

/* The display is 16-bit whatever depth is asked for. SDL gives a program that asks for
 * another a shadow surface of that depth, but its conversions to the display are among the
 * blitters the page leaves out (leftout.c), so that program's flips would be refused: the
 * tuner asks for 16 bits. */
static SDL_Surface *CANVAS_SetVideoMode(_THIS, SDL_Surface *current, int width, int height,
                                        int bpp, Uint32 flags)
{
	free_display(_this);
	_this->hidden->pixels = SDL_calloc((size_t)width * height, sizeof(Uint16));
	_this->hidden->frame = SDL_malloc((size_t)width * height * sizeof(Uint32));
	if (!_this->hidden->pixels || !_this->hidden->frame) {
		free_display(_this);
		SDL_SetError("Couldn't allocate a %dx%d display", width, height);
		return NULL;
	}
	if (!SDL_ReallocFormat(current, 16, 0xF800, 0x07E0, 0x001F, 0)) {
		free_display(_this);
		return NULL;
	}
	current->flags = flags & SDL_FULLSCREEN;
	current->w = width;
	current->h = height;
	current->pitch = (Uint16)(width * sizeof(Uint16));
	current->pixels = _this->hidden->pixels;
	return current;
}

static int CANVAS_SetColors(_THIS, int firstcolor, int ncolors, SDL_Color *colors)
{
	return 1;
}

/* Only the display lives outside SDL's own surfaces. */
static int CANVAS_AllocHWSurface(_THIS, SDL_Surface *surface)
{
	return -1;
}

static void CANVAS_FreeHWSurface(_THIS, SDL_Surface *surface)
{
}

static int CANVAS_LockHWSurface(_THIS, SDL_Surface *surface)
{
	return 0;
}

static void CANVAS_UnlockHWSurface(_THIS, SDL_Surface *surface)
{
}

/* canvasvideo.js */
extern void tuner_present(const Uint32 *frame, int width, int height);
extern int tuner_take_key(int first); /* the next key held or released as sym * 2 + held, or 0
                                         when there is none this pump */

/* Whatever was updated, the canvas takes the whole display: one call into the page per
 * frame, which costs less than working out the parts. */
static void CANVAS_UpdateRects(_THIS, int numrects, SDL_Rect *rects)
{
	const struct SDL_PrivateVideoData *d = _this->hidden;
	const int n = _this->screen->w * _this->screen->h;
	int i;

	/* Hiding the cursor before the video mode is set erases it from a display not yet made. */
	if (!d->pixels)
		return;
	for (i = 0; i < n; i++) {
		const Uint32 p = d->pixels[i];
		d->frame[i] = d->red[p >> 11] | d->green[(p >> 5) & 63] | d->blue[p & 31];
	}
	tuner_present(d->frame, _this->screen->w, _this->screen->h);
}

static void CANVAS_VideoQuit(_THIS)
{
	free_display(_this);
	_this->screen->pixels = NULL;
}

/* The keys the page has handed over, as SDL's own key events: as many as canvasvideo.js
 * gives this pump, so that the tuner sees each press held for a pass and released for one. */
static void CANVAS_PumpEvents(_THIS)
{
	int first = 1, event;

	while ((event = tuner_take_key(first)) != 0) {
		SDL_keysym keysym;

		SDL_memset(&keysym, 0, sizeof keysym);
		keysym.sym = (SDLKey)(event >> 1);
		SDL_PrivateKeyboard((event & 1) ? SDL_PRESSED : SDL_RELEASED, &keysym);
		first = 0;
	}
}

static void CANVAS_InitOSKeymap(_THIS)
{
}

static int CANVAS_Available(void)
{
	return 1;
}

static void CANVAS_DeleteDevice(SDL_VideoDevice *device)
{
	SDL_free(device->hidden);
	SDL_free(device);
}

static SDL_VideoDevice *CANVAS_CreateDevice(int devindex)
{
	SDL_VideoDevice *device = SDL_calloc(1, sizeof(SDL_VideoDevice));

	if (device)
		device->hidden = SDL_calloc(1, sizeof(struct SDL_PrivateVideoData));
	if (!device || !device->hidden) {
		SDL_OutOfMemory();
		SDL_free(device);
		return NULL;
	}
	device->VideoInit = CANVAS_VideoInit;
	device->ListModes = CANVAS_ListModes;
	device->SetVideoMode = CANVAS_SetVideoMode;
	device->SetColors = CANVAS_SetColors;
	device->UpdateRects = CANVAS_UpdateRects;
	device->VideoQuit = CANVAS_VideoQuit;
	device->AllocHWSurface = CANVAS_AllocHWSurface;
	device->LockHWSurface = CANVAS_LockHWSurface;
	device->UnlockHWSurface = CANVAS_UnlockHWSurface;
	device->FreeHWSurface = CANVAS_FreeHWSurface;
	device->InitOSKeymap = CANVAS_InitOSKeymap;
	device->PumpEvents = CANVAS_PumpEvents;
	device->free = CANVAS_DeleteDevice;
	return device;
}

VideoBootStrap CANVAS_bootstrap = {
	"canvas", "the page's canvas", CANVAS_Available, CANVAS_CreateDevice
};
