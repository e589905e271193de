#include "draw.h"

#include "image.h"
#include "rep.h"

// The background: red and green rise in steps to the right and along a parabola
// downwards, from light blue at the top left toward near-white at the bottom right.
const int background_base = 155;
const int background_step_width = 25;
const int background_curve = 5000;
const int background_blue = 244;

// The figure never moves.
const int model_x = 100;
const int model_y = 100;

// component x 256, truncated to 16 bits, whose low byte is the channel. Values far out of
// range (or NaN) give 0 instead of the undefined conversion.
static uint8_t channel(float component) {
    float scaled = component * 256.0f;
    if (!(scaled > -32769.0f && scaled < 32768.0f))
        return 0;
    return (uint8_t)(int16_t)scaled;
}

uint8_t color::rc() const {
    return channel(r);
}
uint8_t color::gc() const {
    return channel(g);
}
uint8_t color::bc() const {
    return channel(b);
}

void pset(int x, int y, const color& c, SDL_Surface* surface) {
    pset(x, y, c.rc(), c.gc(), c.bc(), surface);
}

void pset(int x, int y, float r, float g, float b, SDL_Surface* surface) {
    pset(x, y, color{r, g, b}, surface);
}

void pset(int x, int y, char r, char g, char b, SDL_Surface* surface) {
    pset(x, y, (uint8_t)r, (uint8_t)g, (uint8_t)b, surface);
}

// Row by row, in memory order: the order of the writes does not show, but a column at a time
// would touch a new cache line with every pixel.
void paint_background(SDL_Surface* screen) {
    // Through copies on the stack, which no pixel written can overwrite, so that the compiler
    // reads the layout once rather than for every pixel.
    SDL_PixelFormat format = *screen->format;
    SDL_Surface surface = *screen;
    surface.format = &format;
    int column[screen_width]; // each column's step, worked out once per paint
    for (int x = 0; x < screen_width; x++)
        column[x] = x / background_step_width;
    for (int y = 0; y < screen_height; y++) {
        int row = y * y / background_curve + background_base;
#pragma GCC unroll 8
        for (int x = 0; x < screen_width; x++) {
            int v = row + column[x];
            pset(x, y, v, v, background_blue, &surface);
        }
    }
}

void paint_scene(rep* scene) {
    // Locked: a display may need it before its pixels can be written, and a browser's canvas
    // takes them only once the surface is unlocked.
    if (SDL_LockSurface(scene->screen) == 0) {
        paint_background(scene->screen);
        SDL_UnlockSurface(scene->screen);
    }
    image_blit(model_x, model_y, scene->model, scene->screen);
    for (image* item : scene->items)
        image_blit(image_stored, image_stored, item, scene->screen);
}

void show_scene(rep* scene) {
    SDL_UpdateRect(scene->screen, 0, 0, 0, 0);
}

void repaint(rep* scene) {
    paint_scene(scene);
    show_scene(scene);
}
