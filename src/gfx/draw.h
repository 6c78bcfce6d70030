// Screen drawing: everything the player sees, on the display surface.
#pragma once

#include <SDL/SDL.h>

// The strings' columns: column i, 0 to 5 from the left, shows string 6 - i, the thicker
// strings wider. The web page finds the string under a finger from them too.
constexpr int column_x(int i) { return 60 + 40 * i; }
constexpr int column_w(int i) { return 9 - i; }

SDL_Rect *def_rect(SDL_Rect *rect, int x, int y, int w, int h); // fills rect, returns it
void clear_screen();                  // the whole display black
void make_background();               // the noise field, once at start
void scroll_background();             // the field one row further down, onto the display
void draw_strings();                  // six columns, the playing one shaken, the marker
void draw_volume_bar();               // bar, signs and number at the left edge
void credits_screen(Sint16 x, Sint16 y); // title and version until timeout or Return
