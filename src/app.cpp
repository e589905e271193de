#include "app.h"

#include "draw.h"
#include "hints.h"
#include "image.h"
#include "rep.h"

#include <cstdio>
#include <cstdlib>

// The last one is on top.
const char* const picture_files[picture_count] = {"model.png", "pant.png", "sabates.png",
                                                  "camiseta.png", "bufanda_gorro.png"};

static void report_no_window() {
    const char* reason = SDL_GetError();
    if (*reason) {
        fprintf(stderr, "dressup: cannot open the window: %s\n", reason);
        return;
    }
    const char* names[] = {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"};
    fprintf(stderr, "dressup: cannot open the window: SDL gave no reason;");
    for (const char* name : names)
        fprintf(stderr, " %s=%s", name, getenv(name) ? getenv(name) : "(not set)");
    fprintf(stderr, "\n");
}

SDL_Surface* open_screen() {
    bool no_emulation = suggest_hints();
    SDL_Surface* screen = SDL_SetVideoMode(screen_width, screen_height, screen_bpp, 0);
    if (!screen && no_emulation) {
        // Some drivers (native Wayland) have no framebuffer but one a renderer emulates, and
        // the window matters more than the speed. SDL3 reads the environment when it starts,
        // so it starts again.
        SDL_Quit();
        unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
        screen = SDL_SetVideoMode(screen_width, screen_height, screen_bpp, 0);
    }
    if (!screen) {
        report_no_window();
        return nullptr;
    }
    const char* problem = screen_problem(screen);
    if (problem) {
        fprintf(stderr, "dressup: %s\n", problem);
        return nullptr;
    }
    return screen;
}

const char* screen_problem(const SDL_Surface* screen) {
    const SDL_PixelFormat* f = screen->format;
    if (f->BitsPerPixel != screen_bpp)
        return "the window is not 32 bits per pixel";
    if (!f->Rmask || !f->Gmask || !f->Bmask)
        return "the window's pixels have no red, green and blue";
    if (screen->w < screen_width || screen->h < screen_height)
        return "the window is smaller than 1024 x 512";
    return nullptr;
}

decoding* start_loading() {
    return decode_start(picture_files, picture_count);
}

scene_load load_scene(rep* scene, decoding* pictures, bool (*stopping)()) {
    SDL_Surface* decoded[picture_count];
    if (!decode_finish(pictures, decoded, stopping))
        return scene_stopped;
    // The clothes start where the library's default sequence puts them, on every run. Opening
    // the window may already have drawn from it (Mesa does, on Wayland, the first time it
    // runs), so it starts over here; srand(1) is that default sequence.
    srand(1);
    for (int i = 0; i < picture_count; i++) {
        image* img = image_create(decoded[i]);
        if (!img)
            return scene_out_of_memory;
        if (i == 0)
            scene->model = img;
        else
            scene->items.push_back(img);
    }
    return scene_loaded;
}

void unload_scene(rep* scene) {
    if (scene->model)
        image_destroy(scene->model);
    for (image* item : scene->items)
        image_destroy(item);
    scene->model = nullptr;
    scene->items.clear();
}

// Strictly inside: the border rows and columns do not count.
static bool hit(const image* img, int px, int py) {
    return px > img->x && py > img->y && px < img->x + img->w && py < img->y + img->h;
}

void drag(rep* scene, const SDL_MouseMotionEvent* motion) {
    for (image* item : scene->items) {
        if (hit(item, motion->x, motion->y)) {
            item->x += motion->xrel;
            item->y += motion->yrel;
        }
    }
}

bool dispatch(rep* scene, const SDL_Event* event, bool* dragging, int* quit) {
    switch (event->type) {
    case SDL_MOUSEMOTION:
        if (!*dragging)
            return false;
        drag(scene, &event->motion);
        return true;          // repainted even when nothing moved
    case SDL_MOUSEBUTTONDOWN: // any button, the wheel included
        *dragging = true;
        return false;
    case SDL_MOUSEBUTTONUP:
        *dragging = false;
        return false;
    case SDL_VIDEOEXPOSE:
        // Another window uncovered ours, or it was shown again. The classic library redraws
        // that itself; sdl12-compat leaves it to us.
        return true;
    case SDL_QUIT:
        *quit = 1;
        return false;
    }
    return false;
}
