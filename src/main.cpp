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

    // Busy poll: every event is handled, and a drag painted, in the turn that reads it. The
    // window shows the newest frame once no mouse event is waiting: an update can take longer
    // than a fast mouse takes to send the next motions, and the library keeps only 128 events.
    bool dragging = false;
    bool unshown = false; // the surface holds a frame the window does not show yet
    int quit = 0;
    SDL_Event event;
    while (!quit) {
        forward_stop_signal(); // SIGINT and SIGTERM end the loop as closing the window does
        if (SDL_PollEvent(&event))
            unshown = dispatch(&scene, &event, &dragging, &quit) || unshown;
        if (unshown && !mouse_events_waiting()) {
            show_scene(&scene);
            unshown = false;
        }
    }
    // The pictures and the window go with the process.
    return 0;
}
