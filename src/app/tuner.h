// The application frame: start-up, one pass of the main loop, shutdown, keys.
#pragma once

int start_up();          // brings up SDL, display, audio and resources; 0, or the exit status on failure
bool load_resources();   // builds the background and loads the clips; false, with a line printed, on failure
void run_pass();         // one frame: keys, overlay, flip, redraw, pump
void shut_down();        // frees the clips, closes audio, quits SDL
void keys_handler();     // turns held keys into at most one action per pass
