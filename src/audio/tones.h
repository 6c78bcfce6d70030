// Tone playback: the six embedded notes as SDL_mixer music, one looping at a time.
#pragma once

void initvars();         // hands the start volume to the mixer
void load_clips();       // opens the embedded clips as strings[] (SDL_mixer decodes as it plays),
                         // stopping at the first failure
void play_string();      // loops the selected string's note without end, from its start
void free_resources();   // frees the clips and their readers; safe after a partial load
