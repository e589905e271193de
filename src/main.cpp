// dressup: drag the clothes onto the figure.
#include "app.h"
#include "draw.h"
#include "rep.h"

int main(int, char**) {
    rep scene;
    catch_stop_signals();
    scene.screen = open_screen();
    if (!scene.screen || !load_scene(&scene))
        return 1;
    repaint(&scene);

    // Busy poll: every event is handled, and painted, in the turn that reads it.
    bool dragging = false;
    int quit = 0;
    SDL_Event event;
    while (!quit) {
        forward_stop_signal(); // SIGINT and SIGTERM end the loop as closing the window does
        if (!SDL_PollEvent(&event))
            continue;
        dispatch(&scene, &event, &dragging, &quit);
    }
    // The pictures and the window go with the process.
    return 0;
}
