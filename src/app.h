// Start-up, the reaction to each event, and the drag rule.
#pragma once

#include "decode.h"

#include <SDL.h>

struct rep;

// The figure and the four pieces of clothing.
const int picture_count = 5;

// Opens the window; null, with the reason on standard error, when it cannot be painted into.
SDL_Surface* open_screen();

// Why a surface cannot take the scene's pixels, or null when it can.
const char* screen_problem(const SDL_Surface* screen);

// The five pictures' files, the figure's first, then the clothes in drawing order.
extern const char* const picture_files[picture_count];

// Starts decoding the figure and the clothes, side by side.
decoding* start_loading();

enum scene_load { scene_loaded, scene_stopped, scene_out_of_memory };

// Once every picture is in or refused, the scene: a picture that failed still takes its place,
// reported. Stopped, with nothing reported, when stopping() says so first.
scene_load load_scene(rep* scene, decoding* pictures, bool (*stopping)() = nullptr);

// Destroys the figure and the clothes, leaving the scene empty and its window open.
void unload_scene(rep* scene);

// Moves every piece of clothing the pointer is strictly inside by the pointer's motion. It
// paints nothing: the loop repaints once the events waiting are handled.
void drag(rep* scene, const SDL_MouseMotionEvent* motion);

// What one event does: buttons start and end a drag, motion drags, quit ends the loop. True
// when the window must be repainted: a drag motion came, or an expose uncovered it.
bool dispatch(rep* scene, const SDL_Event* event, bool* dragging, int* quit);
