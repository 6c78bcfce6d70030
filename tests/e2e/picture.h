// Reading the tuner's window as a player sees it: 16-bit 5-6-5 pixels captured from
// the X server, and the shapes the screen is made of found in them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct picture {
    int w = 0, h = 0;
    std::vector<std::uint16_t> px; // row-major, 5-6-5 as the display surface holds it
};

inline std::uint16_t at(const picture &p, int x, int y) { return p.px[std::size_t(y) * std::size_t(p.w) + std::size_t(x)]; }

// A colour given as 8-bit red, green and blue, as a 16-bit 5-6-5 display maps it.
inline std::uint16_t rgb565(int r, int g, int b)
{
    return std::uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}
constexpr std::uint16_t white565 = 0xFFFF;

// True when every pixel of the rectangle has the colour c.
bool all_of(const picture &p, int x, int y, int w, int h, std::uint16_t c);
// Number of pixels in the rectangle with the colour c.
int count_of(const picture &p, int x, int y, int w, int h, std::uint16_t c);

// A vertical stripe of one colour over the whole height (rows 208 to 219, where the
// marker may lie over it, are not looked at).
struct stripe {
    int x, w;
    std::uint16_t colour;
};
std::vector<stripe> find_stripes(const picture &p);

// Left edge of the white 16 x 12 block at y 208, or -1 when there is none, or -2 when
// there is more than one.
int find_marker(const picture &p);

// The tuner view: the six columns at rest, except `playing`'s (a string number, 0 for
// none), and the marker on `selected`. Empty when all is where it belongs, else why not.
std::string check_tuner_view(const picture &p, int selected, int playing);

// Whether the noise field of the tuner view holds only dim colours (each channel at
// most 142 before mapping), outside the columns, the marker and the overlay.
bool background_dim(const picture &p, std::string &why);

// The volume overlay as read from the screen.
struct overlay {
    bool present = false;   // outline and both signs all white
    int segments = 0;       // white 16 x 5 blocks stacked up from (24, 195)
    bool cell_x3 = false;   // white pixels in the 8 x 8 text cell at (3, 117)
    bool cell_x11 = false;  // and at (11, 117)
    bool stray_text = false; // white pixels left of x 3 or between x 19 and 21 in those rows
};
overlay read_overlay(const picture &p);
// Whether the overlay shows `volume`: volume / 4 segments and the number volume / 4,
// two characters wide (from x 3) from volume 40 on, else one (at x 11).
bool overlay_shows(const picture &p, int volume);

// The credits screen: the four lines in their colours on black, the first two with
// their text. Empty when all is as it should be, else why not.
std::string check_credits(const picture &p);

// The picture of a window scaled by `scale`, one pixel for each scale x scale block:
// false, with where, when the window is not 320 x 240 times the scale or a block is not
// all of one colour.
bool scale_down(const picture &big, int scale, picture &small, std::string &why);

// Writes the picture as an 8-bit RGB PNG; false on failure.
bool save_png(const picture &p, const std::string &path);
