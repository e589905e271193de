// What the picture library must not be handed, and what it hands back that cannot be drawn.
#pragma once

#include <SDL.h>

// Whether IMG_Load can be trusted with the file: a regular file, and one whose decoding in a
// throwaway process finished, successfully, in reasonable time.
bool safe_to_load(const char* path);

// Whether SDL 1.2's 16-bit rectangles can place the picture wherever it can be dragged.
bool fits_rectangles(const SDL_Surface* picture);
