// Shared by the key and playback tests: the tuner brought up once per test program
// with SDL's dummy drivers, and key passes driven through SDL's own key-state array.
#pragma once

#include <algorithm>
#include <initializer_list>

#include <gtest/gtest.h>

#include "app/tuner.h"
#include "app/tuner_state.h"

// Brings the whole tuner up (display, audio device, background, the six real clips)
// and takes it down again after the last test.
class TunerRunning : public testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(start_up(), 0) << SDL_GetError(); }
    void TearDown() override { shut_down(); }
};

inline void release_all_keys()
{
    int count = 0;
    Uint8 *keys = SDL_GetKeyState(&count);
    std::fill(keys, keys + count, Uint8(0));
}

// One pass of the handler with exactly these keys held, as SDL would have recorded them.
inline void pass(std::initializer_list<SDLKey> held)
{
    release_all_keys();
    Uint8 *keys = SDL_GetKeyState(nullptr);
    for (SDLKey k : held)
        keys[k] = 1;
    keys_handler();
}

// A press: held for one pass, then let go for one.
inline void press(SDLKey k)
{
    pass({k});
    pass({});
}

// The state the tuner starts the main loop in, with the music halted.
inline void reset_tuner()
{
    Mix_HaltMusic();
    release_all_keys();
    strselect = 1;
    volume = 64;
    Mix_VolumeMusic(64);
    pushing = 0;
    salir = 0;
    show_volume_bar = 0;
}
