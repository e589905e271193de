#include "frames.h"

#include "image.h"

#include <cstdlib>

SDL_Surface* dummy_screen() {
    static SDL_Surface* screen = nullptr;
    if (!screen) {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        screen = SDL_SetVideoMode(1024, 512, 32, 0);
    }
    return screen;
}

SDL_Surface* solid_surface(int w, int h, uint32_t rgb) {
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    SDL_FillRect(s, nullptr, rgb);
    return s;
}

image* solid_image(int w, int h, uint32_t rgb, int x, int y) {
    image* img = (image*)malloc(sizeof(image));
    *img = {solid_surface(w, h, rgb), x, y, 0, 0};
    return img;
}

uint32_t background_at(int x, int y) {
    uint32_t v = 155 + x / 25 + y * y / 5000;
    return v << 16 | v << 8 | 244;
}

uint32_t pixel_at(const SDL_Surface* s, int x, int y) {
    return ((const uint32_t*)((const uint8_t*)s->pixels + y * s->pitch))[x];
}

static uint32_t scribble_at(int x, int y) {
    return 0xDEADBEEF ^ (x * 7919 + y);
}

void scribble(SDL_Surface* s) {
    for (int y = 0; y < s->h; y++)
        for (int x = 0; x < s->w; x++)
            ((uint32_t*)((uint8_t*)s->pixels + y * s->pitch))[x] = scribble_at(x, y);
}

bool scribbled(const SDL_Surface* s) {
    for (int y = 0; y < s->h; y++)
        for (int x = 0; x < s->w; x++)
            if (((const uint32_t*)((const uint8_t*)s->pixels + y * s->pitch))[x] !=
                scribble_at(x, y))
                return false;
    return true;
}
