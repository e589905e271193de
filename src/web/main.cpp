// dressup in a web page: the same scene, events, drag rule and drawing as on the desktop. The
// browser runs the loop, calling frame() once per display frame; the pictures come from the
// page's own file system, where the page puts the bundled ones and those a person chooses.
#include "app.h"
#include "draw.h"
#include "image.h"
#include "rep.h"

#include <emscripten.h>
#include <unistd.h>

// Where the page keeps the five pictures.
static const char* const picture_folder = "/pictures";

// What the loop carries from one frame to the next.
struct page_loop {
    rep scene;
    bool dragging;
    bool owed;  // the canvas does not show the scene as it now is
    int quit;   // only for dispatch(), shared with the desktop: a page ends with its tab
    int px, py; // where the last mouse event left the pointer, in the toy's pixels
    bool pointer_known;
    bool resting; // the browser calls no frame until the page sees the pointer again
};
static page_loop toy;

// The scene from the pictures in the folder: a picture that failed is reported and still takes
// its place, as on the desktop.
static bool load() {
    return load_scene(&toy.scene, start_loading()) == scene_loaded;
}

// The page gives positions only: a motion moves by what the pointer moved in the toy's own
// pixels, from where the last mouse event left it; the very first counts from nowhere.
static void motion_in_pixels(SDL_Event* event) {
    int x = event->type == SDL_MOUSEMOTION ? event->motion.x : event->button.x;
    int y = event->type == SDL_MOUSEMOTION ? event->motion.y : event->button.y;
    if (event->type == SDL_MOUSEMOTION) {
        event->motion.xrel = (Sint16)(toy.pointer_known ? x - toy.px : 0);
        event->motion.yrel = (Sint16)(toy.pointer_known ? y - toy.py : 0);
    }
    toy.px = x;
    toy.py = y;
    toy.pointer_known = true;
}

// Every event waiting, in order; whether there was any.
static bool take_events() {
    SDL_Event event;
    bool handled = false;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_MOUSEMOTION || event.type == SDL_MOUSEBUTTONDOWN ||
            event.type == SDL_MOUSEBUTTONUP)
            motion_in_pixels(&event);
        toy.owed = dispatch(&toy.scene, &event, &toy.dragging, &toy.quit) || toy.owed;
        handled = true;
    }
    return handled;
}

// The events, then the frame if anything changed. A frame with nothing to do is the last until
// the page wakes the loop: at rest the page takes no processor.
static void frame() {
    bool handled = take_events();
    if (toy.owed) {
        repaint(&toy.scene);
        toy.owed = false;
    } else if (!handled) {
        toy.resting = true;
        emscripten_pause_main_loop();
    }
}

static void wake() {
    if (!toy.resting)
        return;
    toy.resting = false;
    emscripten_resume_main_loop();
}

// The page hands over the pointer itself: every position the browser reported, in the toy's
// pixels and within the canvas, as a desktop window bounds a held pointer. Kind 0 is a motion,
// 1 a press of button, 2 its release. Each becomes an event of its own, in order, and the toy
// takes them all in its next frame.
extern "C" EMSCRIPTEN_KEEPALIVE void dressup_pointer(int kind, int button, int x, int y) {
    SDL_Event event = {};
    if (kind == 0) {
        event.type = SDL_MOUSEMOTION;
        event.motion.x = (Uint16)x;
        event.motion.y = (Uint16)y;
    } else {
        event.type = kind == 1 ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        event.button.button = (Uint8)button;
        event.button.state = kind == 1 ? SDL_PRESSED : SDL_RELEASED;
        event.button.x = (Uint16)x;
        event.button.y = (Uint16)y;
    }
    SDL_PushEvent(&event);
    wake();
}

// The page calls this once it has put the pictures a person chose into the folder: the toy
// starts again with them, as it would in a folder of them.
extern "C" EMSCRIPTEN_KEEPALIVE void dressup_restart() {
    unload_scene(&toy.scene);
    toy.dragging = false;
    toy.owed = load();
    wake();
}

// The picture in place, as the page counts them: 0 the figure, then the clothes in drawing
// order. Null before the toy has a scene, or for a place there is not.
static image* picture_at(int place) {
    if (place < 0 || !toy.scene.model || place > (int)toy.scene.items.size())
        return nullptr;
    return place == 0 ? toy.scene.model : toy.scene.items[place - 1];
}

// Whether the picture in place could not be shown, so that the page can name it to whoever
// chose it.
extern "C" EMSCRIPTEN_KEEPALIVE int dressup_failed(int place) {
    const image* img = picture_at(place);
    return img && img->surface == nullptr;
}

// Where the picture in place is: field 0 its left edge, 1 its top, 2 its width, 3 its height; a
// picture that could not be shown has no size. All zero before the toy has a scene. As of every
// pointer event the page has handed over.
extern "C" EMSCRIPTEN_KEEPALIVE int dressup_box(int place, int field) {
    take_events();
    const image* img = picture_at(place);
    if (!img || field < 0 || field > 3)
        return 0;
    const int32_t box[] = {img->x, img->y, img->w, img->h};
    return box[field];
}

// Puts one piece of clothing (1 to 4, as above) at (x, y), and only that one: the page's keys and
// taps carry one chosen piece, never the pieces it passes over. After every pointer event
// before it; shown in the next frame.
extern "C" EMSCRIPTEN_KEEPALIVE void dressup_move(int place, int x, int y) {
    take_events();
    image* img = place == 0 ? nullptr : picture_at(place); // the figure never moves
    if (!img)
        return;
    img->x = x;
    img->y = y;
    toy.owed = true;
    wake();
}

int main() {
    // Emscripten's SDL fills its table of event types here; the desktop needs no such call.
    SDL_Init(SDL_INIT_VIDEO);
    toy.scene.screen = open_screen();
    if (!toy.scene.screen || chdir(picture_folder) != 0 || !load())
        return 1;
    repaint(&toy.scene);
    emscripten_set_main_loop(frame, 0, 0);
    return 0;
}
