#include "e2e/picture.h"

#include <png.h>

#include <cstdio>

bool all_of(const picture &p, int x, int y, int w, int h, std::uint16_t c)
{
    return count_of(p, x, y, w, h, c) == w * h;
}

int count_of(const picture &p, int x, int y, int w, int h, std::uint16_t c)
{
    int n = 0;
    for (int j = y; j < y + h; j++)
        for (int i = x; i < x + w; i++)
            if (i >= 0 && j >= 0 && i < p.w && j < p.h && at(p, i, j) == c)
                n++;
    return n;
}

// The marker's rows are skipped: it covers the selected column there.
static bool uniform_column(const picture &p, int x, std::uint16_t &colour)
{
    colour = at(p, x, 0);
    for (int y = 1; y < p.h; y++) {
        if (y >= 208 && y < 220)
            continue;
        if (at(p, x, y) != colour)
            return false;
    }
    return true;
}

std::vector<stripe> find_stripes(const picture &p)
{
    std::vector<stripe> found;
    for (int x = 0; x < p.w; x++) {
        std::uint16_t c;
        if (!uniform_column(p, x, c))
            continue;
        if (!found.empty() && found.back().x + found.back().w == x && found.back().colour == c)
            found.back().w++;
        else
            found.push_back({x, 1, c});
    }
    return found;
}

int find_marker(const picture &p)
{
    int found = -1;
    for (int x = 0; x + 16 <= p.w; x++) {
        if (!all_of(p, x, 208, 16, 12, white565))
            continue;
        // Exactly 16 x 12: the pixels around it are not all white.
        if (all_of(p, x - 1, 208, 1, 12, white565) && x > 0)
            continue;
        if (x + 16 < p.w && all_of(p, x + 16, 208, 1, 12, white565))
            continue;
        if (all_of(p, x, 207, 16, 1, white565) || all_of(p, x, 220, 16, 1, white565))
            continue;
        if (found != -1)
            return -2;
        found = x;
    }
    return found;
}

static std::string describe(const std::vector<stripe> &stripes)
{
    std::string s;
    for (const stripe &st : stripes)
        s += " (x " + std::to_string(st.x) + ", w " + std::to_string(st.w) + ")";
    return s.empty() ? " none" : s;
}

std::string check_tuner_view(const picture &p, int selected, int playing)
{
    if (p.w != 320 || p.h != 240)
        return "window is " + std::to_string(p.w) + " x " + std::to_string(p.h);
    std::vector<stripe> stripes = find_stripes(p);
    if (stripes.size() != 6)
        return "expected 6 full-height columns, found:" + describe(stripes);
    for (int i = 0; i < 6; i++) {
        int string_number = 6 - i;
        bool ok = false;
        for (const stripe &st : stripes) {
            if (string_number == playing) {
                int rest = 60 + 40 * i;
                ok = ok || (st.w == 9 - i && st.x >= rest - 16 && st.x <= rest + 15);
            } else {
                ok = ok || (st.x == 60 + 40 * i && st.w == 9 - i);
            }
        }
        if (!ok)
            return "no column for string " + std::to_string(string_number) + "; columns:" +
                   describe(stripes);
    }
    int marker = find_marker(p);
    int expected = 294 - 40 * selected + (selected - 1) / 2;
    if (marker != expected)
        return "marker at x " + std::to_string(marker) + ", expected " + std::to_string(expected) +
               " for string " + std::to_string(selected);
    return "";
}

bool background_dim(const picture &p, std::string &why)
{
    std::vector<stripe> stripes = find_stripes(p);
    int marker = find_marker(p);
    for (int y = 0; y < p.h; y++) {
        for (int x = 0; x < p.w; x++) {
            bool covered = marker >= 0 && x >= marker && x < marker + 16 && y >= 208 && y < 220;
            for (const stripe &st : stripes)
                covered = covered || (x >= st.x && x < st.x + st.w);
            if (covered)
                continue;
            std::uint16_t c = at(p, x, y);
            // 142 keeps 17 of 5 bits and 35 of 6 bits.
            if ((c >> 11) > (142 >> 3) || ((c >> 5) & 63) > (142 >> 2) || (c & 31) > (142 >> 3)) {
                why = "bright background pixel at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
                return false;
            }
        }
    }
    return true;
}

overlay read_overlay(const picture &p)
{
    overlay o;
    o.present = all_of(p, 22, 38, 20, 1, white565) && all_of(p, 22, 201, 20, 1, white565) &&
                all_of(p, 22, 38, 1, 163, white565) && all_of(p, 41, 38, 1, 163, white565) &&
                all_of(p, 31, 26, 2, 8, white565) && all_of(p, 28, 29, 8, 2, white565) &&
                all_of(p, 28, 209, 8, 2, white565);
    while (o.segments < 40 && all_of(p, 24, 195 - 5 * o.segments, 16, 5, white565))
        o.segments++;
    o.cell_x3 = count_of(p, 3, 117, 8, 8, white565) > 0;
    o.cell_x11 = count_of(p, 11, 117, 8, 8, white565) > 0;
    o.stray_text = count_of(p, 0, 117, 3, 8, white565) > 0 || count_of(p, 19, 117, 3, 8, white565) > 0;
    return o;
}

bool overlay_shows(const picture &p, int volume)
{
    overlay o = read_overlay(p);
    return o.present && o.segments == volume / 4 && o.cell_x11 && o.cell_x3 == (volume >= 40) && !o.stray_text;
}

// One line of 8 x 8 text: every lit pixel in its colour, the cells of blanks dark,
// the others lit. `text` may be shorter than the line when only its start is known.
static std::string check_line(const picture &p, int x, int y, std::uint16_t colour, const std::string &text,
                              int cells, const char *name)
{
    for (int i = 0; i < cells; i++) {
        int lit = 0;
        for (int j = y; j < y + 8; j++) {
            for (int k = x + 8 * i; k < x + 8 * i + 8; k++) {
                std::uint16_t c = at(p, k, j);
                if (c == 0)
                    continue;
                if (c != colour)
                    return std::string(name) + ": pixel (" + std::to_string(k) + ", " + std::to_string(j) +
                           ") has colour " + std::to_string(c) + ", expected " + std::to_string(colour);
                lit++;
            }
        }
        if (std::size_t(i) < text.size() && (text[std::size_t(i)] == ' ') != (lit == 0))
            return std::string(name) + ": character " + std::to_string(i) + " ('" + text[std::size_t(i)] +
                   "') is " + (lit ? "lit" : "dark");
    }
    return "";
}

std::string check_credits(const picture &p)
{
    if (p.w != 320 || p.h != 240)
        return "window is " + std::to_string(p.w) + " x " + std::to_string(p.h);
    const std::string title = ".-=[ Vessandrel Guitar Tuner ]=-.";
    const std::string version = "             V. 1.0";
    std::string why = check_line(p, 28, 88, rgb565(191, 255, 255), title, 33, "title");
    if (why.empty())
        why = check_line(p, 28, 104, rgb565(127, 159, 159), version, 19, "version");
    // The last two lines' texts are the author's own; each begins with two blanks.
    if (why.empty())
        why = check_line(p, 28, 134, rgb565(191, 191, 191), "  x", 36, "author line");
    if (why.empty())
        why = check_line(p, 24, 144, rgb565(127, 127, 127), "  x", 37, "address line");
    if (!why.empty())
        return why;
    for (int y = 0; y < p.h; y++) {
        bool band = (y >= 88 && y < 96) || (y >= 104 && y < 112) || (y >= 134 && y < 142) || (y >= 144 && y < 152);
        for (int x = 0; x < p.w; x++) {
            bool inside = band && x >= 24 && x < 320;
            if (y >= 88 && y < 96)
                inside = x >= 28 && x < 28 + 33 * 8;
            if (!inside && at(p, x, y) != 0)
                return "lit pixel outside the credits text at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
        }
    }
    return "";
}

bool scale_down(const picture &big, int scale, picture &small, std::string &why)
{
    if (big.w != 320 * scale || big.h != 240 * scale) {
        why = "the window is " + std::to_string(big.w) + " x " + std::to_string(big.h);
        return false;
    }
    small.w = 320;
    small.h = 240;
    small.px.resize(320 * 240);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            std::uint16_t c = at(big, x * scale, y * scale);
            if (!all_of(big, x * scale, y * scale, scale, scale, c)) {
                why = "the block of pixel " + std::to_string(x) + ", " + std::to_string(y) + " is not of one colour";
                return false;
            }
            small.px[std::size_t(y) * 320 + std::size_t(x)] = c;
        }
    return true;
}

bool save_png(const picture &p, const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(p.w), png_uint_32(p.h), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    std::vector<png_byte> row(std::size_t(p.w) * 3);
    for (int y = 0; y < p.h; y++) {
        for (int x = 0; x < p.w; x++) {
            // Widen 5 and 6 bits to 8 by repeating the top bits, so white stays white.
            std::uint16_t c = at(p, x, y);
            int r = c >> 11, g = (c >> 5) & 63, b = c & 31;
            row[std::size_t(x) * 3 + 0] = png_byte((r << 3) | (r >> 2));
            row[std::size_t(x) * 3 + 1] = png_byte((g << 2) | (g >> 4));
            row[std::size_t(x) * 3 + 2] = png_byte((b << 3) | (b >> 2));
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}
