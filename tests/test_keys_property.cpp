// Random key states, many passes: after every pass the tuner must agree with a model
// of the key rules written out here from their table, and never leave its ranges.
#include <cstdint>
#include <cstdio>
#include <random>

#include "support/tuner_keys.h"

namespace {

const testing::Environment *const tuner = testing::AddGlobalTestEnvironment(new TunerRunning);

constexpr long passes = 120000;

enum Action { none, select_left, select_right, play, louder, softer, quit };

struct Held {
    bool left, right, lctrl, up, down, escape, tab;
    bool rctrl, ret, space; // keys the handler must not heed
};

// The rules: the latch clears when none of Left, Right, Left Ctrl, Up, Down and Escape
// is held; with it clear, the first held of Left, Right, Left Ctrl, Up, Down, Tab acts
// and sets it.
struct Model {
    int string = 1;
    int volume = 64;
    bool latched = false;
    bool playing = false;
};

Action step(Model &m, const Held &h)
{
    if (!(h.left || h.right || h.lctrl || h.up || h.down || h.escape))
        m.latched = false;
    if (m.latched)
        return none;
    Action a = h.left ? select_left : h.right ? select_right : h.lctrl ? play
             : h.up ? louder : h.down ? softer : h.tab ? quit : none;
    if (a == none)
        return none;
    m.latched = true;
    switch (a) {
    case select_left:  m.string = m.string == 6 ? 1 : m.string + 1; m.playing = false; break;
    case select_right: m.string = m.string == 1 ? 6 : m.string - 1; m.playing = false; break;
    case play:         m.playing = true; break;
    case louder:       if (m.volume < 128) m.volume += 4; break;
    case softer:       if (m.volume > 0) m.volume -= 4; break;
    default:           break;
    }
    return a;
}

// Short presses, releases, and runs in which the same keys stay held, so the latch is
// exercised both ways and every key gets to act. The volume is pushed up in some
// stretches and down in others so that both ends of the scale are met; Left Ctrl is
// held far less often than the rest, since each note it starts is opened afresh.
Held next_keys(std::mt19937 &rng, const Held &before, bool rising)
{
    std::uint32_t r = rng();
    switch (r & 3) {
    case 0:
        return before;
    case 1: {
        Held h{};
        h.tab = (r >> 2) & 1;
        h.rctrl = (r >> 3) & 1;
        h.ret = (r >> 4) & 1;
        h.space = (r >> 5) & 1;
        return h;
    }
    default: {
        std::uint32_t q = rng();
        auto one_in_4 = [](std::uint32_t bits, int i) { return ((bits >> (2 * i)) & 3) == 0; };
        auto one_in_16 = [](std::uint32_t bits, int i) { return ((bits >> (4 * i)) & 15) == 0; };
        Held h;
        h.left = one_in_4(r >> 2, 0);
        h.right = one_in_4(r >> 2, 1);
        h.lctrl = ((q >> 12) & 63) == 0;
        h.up = rising ? one_in_4(r >> 2, 2) : one_in_16(q, 1);
        h.down = rising ? one_in_16(q, 2) : one_in_4(r >> 2, 3);
        h.escape = one_in_4(r >> 2, 4);
        h.tab = one_in_4(r >> 2, 5);
        h.rctrl = one_in_4(r >> 2, 6);
        h.ret = one_in_4(r >> 2, 7);
        h.space = one_in_4(r >> 2, 8);
        return h;
    }
    }
}

void hold(const Held &h)
{
    release_all_keys();
    Uint8 *keys = SDL_GetKeyState(nullptr);
    keys[SDLK_LEFT] = h.left;
    keys[SDLK_RIGHT] = h.right;
    keys[SDLK_LCTRL] = h.lctrl;
    keys[SDLK_UP] = h.up;
    keys[SDLK_DOWN] = h.down;
    keys[SDLK_ESCAPE] = h.escape;
    keys[SDLK_TAB] = h.tab;
    keys[SDLK_RCTRL] = h.rctrl;
    keys[SDLK_RETURN] = h.ret;
    keys[SDLK_SPACE] = h.space;
}

TEST(KeysProperty, EveryPassKeepsTheRulesAndTheRanges)
{
    reset_tuner();
    std::mt19937 rng(20240611);
    Model m;
    Held h{};
    long acted[quit + 1] = {};
    long at_top = 0, at_bottom = 0;
    // The music stays paused so that no clip is decoded; starting a clip resumes the
    // mixer, which shows every play, even a restart of the clip already playing.
    Mix_PauseMusic();
    for (long n = 0; n < passes; n++) {
        h = next_keys(rng, h, (n / 5000) % 2 == 0);
        hold(h);
        int string_before = strselect;
        show_volume_bar = 0;
        salir = 0;
        Mix_PauseMusic();

        keys_handler();
        int volume_before = m.volume;
        Action expected = step(m, h);
        acted[expected]++;
        at_top += expected == louder && volume_before == 128;
        at_bottom += expected == softer && volume_before == 0;

        bool played = !Mix_PausedMusic();
        int actions = (strselect != string_before) + (show_volume_bar != 0) + (salir != 0) + played;
        int mixer = Mix_VolumeMusic(-1);
        bool ok = strselect >= 1 && strselect <= 6 && volume >= 0 && volume <= 128 &&
                  volume % 4 == 0 && mixer == volume && actions <= 1 &&
                  (actions == 0 || pushing == 1) && strselect == m.string &&
                  volume == m.volume && pushing == m.latched &&
                  (show_volume_bar == 240) == (expected == louder || expected == softer) &&
                  salir == (expected == quit) && played == (expected == play) &&
                  (Mix_PlayingMusic() != 0) == m.playing;
        if (!ok) {
            FAIL() << "pass " << n << " (expected action " << expected << "): keys L" << h.left
                   << " R" << h.right << " LC" << h.lctrl << " U" << h.up << " D" << h.down
                   << " Esc" << h.escape << " Tab" << h.tab << " RC" << h.rctrl << " Ret" << h.ret
                   << " Sp" << h.space << "; strselect " << int(strselect) << " (model " << m.string
                   << "), volume " << volume << " (model " << m.volume << "), mixer " << mixer
                   << ", pushing " << int(pushing) << " (model " << m.latched << "), overlay "
                   << show_volume_bar << ", salir " << int(salir) << ", played " << played
                   << ", playing " << Mix_PlayingMusic() << " (model " << m.playing << ")";
        }
    }
    Mix_ResumeMusic();
    EXPECT_GT(at_top, 0) << "Up never met the top of the scale";
    EXPECT_GT(at_bottom, 0) << "Down never met the bottom of the scale";
    for (int a = select_left; a <= quit; a++)
        EXPECT_GT(acted[a], 100) << "action " << a << " was hardly exercised";
    std::printf("actions over %ld passes: none %ld, left %ld, right %ld, play %ld, up %ld "
                "(%ld at the top), down %ld (%ld at the bottom), tab %ld\n",
                passes, acted[none], acted[select_left], acted[select_right], acted[play],
                acted[louder], at_top, acted[softer], at_bottom, acted[quit]);
}

} // namespace
