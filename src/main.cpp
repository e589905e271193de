// dressup: drag the clothes onto the figure.
#include "app.h"
#include "draw.h"
#include "rep.h"

int main(int, char**) {
    rep scene;
    catch_stop_signals();
    decoding pictures[picture_count]; // decoded while the window opens
    start_loading(pictures);
    scene.screen = open_screen();
    if (!scene.screen)
        return 1;
    scene_load loaded = load_scene(&scene, pictures);
    if (loaded != scene_loaded)
        return loaded == scene_stopped ? 0 : 1; // a stop signal ends it as closing the window does
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
