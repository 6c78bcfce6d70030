#include "app/tuner.h"
#include "app/tuner_state.h"
#include "gfx/draw.h"

int main(int, char **)
{
    if (int status = start_up())
        return status;
    credits_screen(28, 88);
    while (!salir && !signalled)
        run_pass();
    shut_down();
    return 0;
}
