// dressup: drag the clothes onto the figure.
#include "app.h"
#include "draw.h"
#include "rep.h"
#include "usage.h"
#include "wait.h"

// The window shows at most one frame this often: more than a display shows, far fewer than a
// fast mouse sends motions.
const Uint32 frame_ms = 8;
// At rest the display or a stop signal wakes the loop; it looks twice a second all the same.
const Uint32 rest_ms = 500;

int main(int argc, char** argv) {
    int answered = answer_command_line(argc, argv); // before any window
    if (answered >= 0)
        return answered;
    rep scene;
    catch_stop_signals();
    decoding* pictures = start_loading(); // decoded while the window opens
    scene.screen = open_screen();
    if (!scene.screen)
        return 1;
    scene_load loaded = load_scene(&scene, pictures, stop_requested);
    if (loaded != scene_loaded)
        return loaded == scene_stopped ? 0 : 1; // a stop signal ends it as closing the window does
    repaint(&scene);

    // Every event is handled in the turn that reads it; a drag only moves the clothes, which
    // takes microseconds, so the library's 128-event queue empties as fast as a mouse fills it.
    // Only a display that holds motions back and hands over more than 128 at once overflows it
    // (Debian 12's sway at 8000 a second). The scene is painted and shown once nothing waits, at
    // most once a frame; with nothing to do the loop waits rather than spins.
    bool dragging = false;
    bool owed = false; // the window does not show the scene as it now is
    Uint32 shown_at = SDL_GetTicks();
    int quit = 0;
    SDL_Event event;
    while (!quit) {
        forward_stop_signal(); // SIGINT and SIGTERM end the loop as closing the window does
        if (SDL_PollEvent(&event)) {
            owed = dispatch(&scene, &event, &dragging, &quit) || owed;
            continue;
        }
        Uint32 now = SDL_GetTicks();
        if (owed && now - shown_at >= frame_ms) {
            shown_at = now;
            repaint(&scene);
            owed = false;
            continue;
        }
        wait_for_events(owed ? frame_ms - (now - shown_at) : rest_ms, dragging);
    }
    // The pictures and the window go with the process.
    return 0;
}
