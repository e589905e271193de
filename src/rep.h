// The scene: the window and the pictures a repaint draws into it.
#pragma once

#include <SDL.h>
#include <vector>

struct image;

// The one window the toy opens; the painter relies on exactly this mode.
const int screen_width = 1024;
const int screen_height = 512;
const int screen_bpp = 32;

struct rep {
    SDL_Surface* screen =
        nullptr;               // the window's surface: 32-bit pixels, laid out as its format says
    image* model = nullptr;    // the figure, always drawn at the same place
    std::vector<image*> items; // clothes in drawing order; the list does not own them
};
