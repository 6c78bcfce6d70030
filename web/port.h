// What the port (port.cpp) and SDL_mixer over Web Audio (mixer.cpp) ask of each other.
#pragma once

// Gives the page back to the browser for a moment when the tuner has run for a while
// without a wait (port.cpp).
void breathe();

// Whether a clip is still to become a sound, so that a wait decodes meanwhile (mixer.cpp).
bool decoding_left();
