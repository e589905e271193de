// Surfaces and the pixels a correct scene shows.
#pragma once

#include <SDL.h>

#include <cstdint>

// The 1024 x 512 x 32 screen of the dummy video driver, opened once per process.
SDL_Surface* dummy_screen();

// A picture surface of one opaque colour (0xRRGGBB), in the screen's pixel layout.
SDL_Surface* solid_surface(int w, int h, uint32_t rgb);

// A picture record holding such a surface, placed at (x, y); release it with image_destroy.
struct image* solid_image(int w, int h, uint32_t rgb, int x, int y);

// What the gradient shows at (x, y), as 0x00RRGGBB.
uint32_t background_at(int x, int y);

uint32_t pixel_at(const SDL_Surface* s, int x, int y);

// Overwrites every pixel, so a test can tell which ones were painted again.
void scribble(SDL_Surface* s);

// Whether every pixel still holds the scribble: nothing has painted over any.
bool scribbled(const SDL_Surface* s);
