// A clip decoded the way SDL_mixer's Ogg music decodes it, for the decoding figures.
#pragma once

// Decodes a whole clip from memory; returns its length in seconds, or a negative number
// when it does not decode.
double decode_clip(const unsigned char *data, unsigned int len);
