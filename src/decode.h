// Pictures are decoded in helper processes, never in the toy: whatever a file makes the picture
// library do (loop, crash, take all the memory) happens in a helper limited in memory and time.
#pragma once

#include <SDL.h>
#include <sys/types.h>

#include <ctime>

struct decoding {
    pid_t helper;            // 0 once it is over
    int from_helper;         // the pipe its picture's description comes back through
    int pixels;              // a memory file its picture's rows come back in
    struct timespec started; // its deadline runs from here
    SDL_Surface* picture;    // once over: the picture as decoded, or null when it was refused
};

// Opens the file, only if it is a regular one, and starts decoding what that open found in a
// helper of its own. The file is read once, by the helper, and decoded from memory.
void decode_start(decoding* d, const char* path);

// Waits for the helpers side by side, each until its deadline, and takes in what they decoded.
// False, with every helper ended and no picture kept, if stopping() says so first.
bool decode_finish(decoding* all, int count, bool (*stopping)());

// Frees a picture: a decoded one's rows are a mapping of their own, which goes with it.
void decode_release(SDL_Surface* picture);
