// Reading and predicting the tuner's 320 x 240, 16-bit pictures in tests. Colours are
// packed by hand into the 5-6-5 layout that SDL 1.2 gives a 16-bit surface without
// masks of its own; tests check that layout before they rely on it.
#pragma once

#include <SDL/SDL.h>
#include <SDL/SDL_gfxPrimitives.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

constexpr int pic_w = 320;
constexpr int pic_h = 240;

using Picture = std::vector<Uint16>;

inline Uint16 rgb565(int r, int g, int b)
{
    return Uint16((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

constexpr Uint16 white565 = 0xFFFF;
constexpr Uint16 black565 = 0x0000;

inline bool is_565(const SDL_Surface *s)
{
    return s && s->w == pic_w && s->h == pic_h && s->format->BitsPerPixel == 16 &&
           s->format->Rmask == 0xF800 && s->format->Gmask == 0x07E0 && s->format->Bmask == 0x001F;
}

inline Uint16 &pixel(SDL_Surface *s, int x, int y)
{
    return reinterpret_cast<Uint16 *>(static_cast<Uint8 *>(s->pixels) + y * s->pitch)[x];
}

inline Picture snapshot(SDL_Surface *s)
{
    Picture p(pic_w * pic_h);
    for (int y = 0; y < pic_h; y++)
        for (int x = 0; x < pic_w; x++)
            p[y * pic_w + x] = pixel(s, x, y);
    return p;
}

// Writes the picture straight into the surface's memory, bypassing SDL's fills.
inline void restore(SDL_Surface *s, const Picture &p)
{
    for (int y = 0; y < pic_h; y++)
        for (int x = 0; x < pic_w; x++)
            pixel(s, x, y) = p[y * pic_w + x];
}

inline void paint(SDL_Surface *s, Uint16 colour)
{
    restore(s, Picture(pic_w * pic_h, colour));
}

// A busy, bright pattern: any blending onto it leaves traces that a copy would not.
inline Picture stripes()
{
    Picture p(pic_w * pic_h);
    for (int y = 0; y < pic_h; y++)
        for (int x = 0; x < pic_w; x++)
            p[y * pic_w + x] = ((x + y) & 1) ? white565 : Uint16(0xF81F ^ (x * 131 + y * 7));
    return p;
}

inline Uint16 at(const Picture &p, int x, int y)
{
    return p[y * pic_w + x];
}

inline void fill(Picture &p, int x, int y, int w, int h, Uint16 colour)
{
    for (int yy = y; yy < y + h; yy++)
        for (int xx = x; xx < x + w; xx++)
            if (xx >= 0 && xx < pic_w && yy >= 0 && yy < pic_h)
                p[yy * pic_w + xx] = colour;
}

// The field rolled down by k rows, the bottom rows wrapping to the top.
inline Picture rolled(const Picture &p, int k)
{
    Picture r(p.size());
    for (int y = 0; y < pic_h; y++)
        for (int x = 0; x < pic_w; x++)
            r[y * pic_w + x] = p[((y - k) % pic_h + pic_h) % pic_h * pic_w + x];
    return r;
}

// Three successive rand() values modulo 256 as red, green and blue, packed by hand.
inline Uint16 next_random_colour()
{
    int r = std::rand() % 256;
    int g = std::rand() % 256;
    int b = std::rand() % 256;
    return rgb565(r, g, b);
}

// Which pixels SDL_gfx's 8 x 8 font sets for `text` at (x, y): drawn on a blank surface
// of the test's own, so that the picture under test plays no part.
inline std::vector<std::pair<int, int>> glyph_pixels(int x, int y, const std::string &text)
{
    SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, pic_w, pic_h, 16, 0xF800, 0x07E0, 0x001F, 0);
    std::vector<std::pair<int, int>> set;
    if (!s)
        return set;
    paint(s, black565);
    stringRGBA(s, Sint16(x), Sint16(y), text.c_str(), 255, 255, 255, 255);
    for (int yy = 0; yy < pic_h; yy++)
        for (int xx = 0; xx < pic_w; xx++)
            if (pixel(s, xx, yy) != black565)
                set.emplace_back(xx, yy);
    SDL_FreeSurface(s);
    return set;
}

inline void draw_glyphs(Picture &p, const std::vector<std::pair<int, int>> &set, Uint16 colour)
{
    for (auto [x, y] : set)
        p[y * pic_w + x] = colour;
}

// One draw_strings pass as the drawing rules give it, from the current rand() state,
// over `base`, for selected string `s`. Column i, left to right, shows string 6 - i.
const int string_rest_x[6] = {60, 100, 140, 180, 220, 260};
const int string_width[6] = {9, 8, 7, 6, 5, 4};
const int marker_x[7] = {0, 254, 214, 175, 135, 96, 56}; // by string number 1 to 6

inline Picture strings_pass(Picture base, int s, bool playing, int *shake = nullptr)
{
    for (int i = 0; i < 6; i++) {
        if (playing && i == 6 - s)
            continue;
        fill(base, string_rest_x[i], 0, string_width[i], 240, next_random_colour());
    }
    if (playing) {
        int r = std::rand() % 32;
        if (shake)
            *shake = r;
        int i = 6 - s;
        fill(base, string_rest_x[i] - 16 + r, 0, string_width[i], 240, next_random_colour());
    }
    fill(base, marker_x[s], 208, 16, 12, white565);
    return base;
}

// The volume overlay over `base`: outline, plus and minus signs, the number in SDL_gfx's
// font at (text_x, 117), and `segments` fill segments, the highest at `top_y`.
const int overlay_shapes[7][4] = {
    {22, 38, 20, 1}, {22, 201, 20, 1}, {22, 38, 1, 163}, {41, 38, 1, 163},
    {31, 26, 2, 8},  {28, 29, 8, 2},   {28, 209, 8, 2},
};

inline Picture with_overlay(Picture base, const std::string &text, int text_x, int segments, int top_y)
{
    for (auto &r : overlay_shapes)
        fill(base, r[0], r[1], r[2], r[3], white565);
    draw_glyphs(base, glyph_pixels(text_x, 117, text), white565);
    for (int k = 0; k < segments; k++)
        fill(base, 24, top_y + 5 * k, 16, 5, white565);
    return base;
}

// Whole-picture equality, naming the first differing pixel and how many differ.
inline ::testing::AssertionResult same_picture(const Picture &expected, const Picture &actual)
{
    int differ = 0, fx = -1, fy = -1;
    for (int i = 0; i < pic_w * pic_h; i++) {
        if (expected[i] != actual[i]) {
            if (!differ++) {
                fx = i % pic_w;
                fy = i / pic_w;
            }
        }
    }
    if (!differ)
        return ::testing::AssertionSuccess();
    char buf[160];
    std::snprintf(buf, sizeof buf, "%d pixels differ; first at (%d, %d): expected 0x%04X, got 0x%04X",
                  differ, fx, fy, expected[fy * pic_w + fx], actual[fy * pic_w + fx]);
    return ::testing::AssertionFailure() << buf;
}
