// A picture loaded from a file and the place where it is drawn.
#pragma once

#include <SDL.h>
#include <cstdint>

struct image {
    SDL_Surface* surface; // owned; null when the file could not be loaded
    int32_t x;            // left edge on the screen, unclipped
    int32_t y;            // top edge on the screen, unclipped
    int32_t w;            // size of the surface as of the last image_blit; 0 without one
    int32_t h;
};

// Given as both coordinates to image_blit, it means "where the picture already is".
const int image_stored = -1;

// Loads a picture and gives it a pseudo-random start place; null only when out of memory.
image* image_create(const char* path);

// The same for a picture decoded already, which the record then owns; null means it could not
// be, and that is reported.
image* image_create(SDL_Surface* decoded);

// Draws img onto dst at (x, y), clipped by dst, and remembers that place.
void image_blit(int x, int y, image* img, SDL_Surface* dst);

void image_destroy(image* img);
