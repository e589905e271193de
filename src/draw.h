// Pixels, colours and painting the whole scene.
#pragma once

#include <SDL.h>
#include <cstdint>

struct rep;

// A colour as three components, each meant to lie in [0, 1).
struct color {
    float r;
    float g;
    float b;
    uint8_t rc() const;
    uint8_t gc() const;
    uint8_t bc() const;
};

// Writes the pixel (r, g, b) at (x, y) straight into a 32-bit surface, laid out as its format
// says: 0x00RRGGBB in a desktop window, bytes R, G, B, A in a browser's. Nothing is checked:
// the caller keeps (x, y) inside the surface and each channel in 0..255.
inline void pset(int x, int y, int r, int g, int b, SDL_Surface* surface) {
    const SDL_PixelFormat* f = surface->format;
    Uint32* pixels = (Uint32*)surface->pixels;
    pixels[x + y * surface->pitch / 4] = (Uint32)r << __builtin_ctz(f->Rmask) |
                                         (Uint32)g << __builtin_ctz(f->Gmask) |
                                         (Uint32)b << __builtin_ctz(f->Bmask);
}

void pset(int x, int y, const color& c, SDL_Surface* surface);
void pset(int x, int y, float r, float g, float b, SDL_Surface* surface); // components as in color
void pset(int x, int y, char r, char g, char b, SDL_Surface* surface);    // bytes, sign ignored

// The gradient behind everything, over the whole 1024 x 512 window.
void paint_background(SDL_Surface* screen);

// Paints the background, the figure and the clothes into the window's surface, in memory.
void paint_scene(rep* scene);

// Shows the whole surface in the window: the update, which can take milliseconds.
void show_scene(rep* scene);

// Both: the scene painted and shown.
void repaint(rep* scene);
