// text-dump: every printable character as SDL_gfx's stringRGBA draws it in each colour the
// tuner writes with, over black (the credits) and over a field of assorted colours (the
// overlay over the noise, where the glyphs blend), on a 320 x 240 16-bit display surface
// of SDL's dummy driver. One line per glyph: colour, background, character, then its 8 x 8
// pixels in hex. Built for the desktop and for the handheld, the two dumps must be equal.
#include <cstdio>
#include <cstdlib>

#include <SDL/SDL.h>
#include <SDL/SDL_gfxPrimitives.h>

int main(int, char **)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return 1;
    SDL_Surface *screen = SDL_SetVideoMode(320, 240, 16, SDL_SWSURFACE);
    if (!screen)
        return 1;
    const Uint8 colours[][3] = {
        {191, 255, 255}, {127, 159, 159}, {191, 191, 191}, {127, 127, 127}, {255, 255, 255},
    };
    for (const auto &c : colours) {
        for (int field = 0; field < 2; field++) {
            for (int ch = 32; ch < 127; ch++) {
                Uint16 *px = static_cast<Uint16 *>(screen->pixels);
                int stride = screen->pitch / 2;
                for (int y = 0; y < 8; y++)
                    for (int x = 0; x < 8; x++)
                        px[y * stride + x] = field ? Uint16((x * 7919 + y * 104729 + ch * 31) & 0xFFFF) : 0;
                const char text[2] = {char(ch), 0};
                stringRGBA(screen, 0, 0, text, c[0], c[1], c[2], 255);
                printf("%3d %3d %3d %s %3d", c[0], c[1], c[2], field ? "field" : "black", ch);
                for (int y = 0; y < 8; y++)
                    for (int x = 0; x < 8; x++)
                        printf(" %04x", px[y * stride + x]);
                printf("\n");
            }
        }
    }
    SDL_Quit();
    return 0;
}
