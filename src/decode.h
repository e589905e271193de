// Decoding the picture files. On the desktop each is decoded in a helper process, never in the
// toy: whatever a file makes the picture library do (loop, crash, take all the memory) happens in
// a helper limited in memory and time. In a page the browser's sandbox holds the decoder.
#pragma once

#include <SDL.h>

// Pictures being decoded side by side; what that takes is each platform's own.
struct decoding;

// Starts decoding the count files named, side by side. A file is opened once, only if it is a
// regular one, and what that open found is decoded.
decoding* decode_start(const char* const* paths, int count);

// Waits for the pictures and puts each into pictures, in the order named: null for one that was
// refused. False, with no picture kept, if stopping() says so first. Either way d is done with.
bool decode_finish(decoding* d, SDL_Surface** pictures, bool (*stopping)());

// Frees a decoded picture, whose rows may be a mapping of their own.
void decode_release(SDL_Surface* picture);
