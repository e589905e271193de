// What the toy and a decoding helper share: how a helper is started, and the description of its
// picture that comes back down its pipe. The helper has run a decoder on untrusted bytes, so the
// toy checks that description with the same rule before it believes any of it.
#pragma once

#include "placeable.h"

#include <errno.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <cstdint>

// What a helper may take: the file's bytes and the decoding, together.
const rlim_t decoder_memory = largest_picture_bytes;

// What comes down the pipe once the rows are in the memory file: the picture's shape, pixel
// format, colour key and alpha settings, as decoded. Then the palette's colours.
struct picture_header {
    picture_shape shape;
    uint32_t masks[4]; // red, green, blue, alpha
    uint32_t flags;    // SDL_SRCCOLORKEY and SDL_SRCALPHA, as decoded
    uint32_t colorkey;
    uint32_t alpha;
};

// What a helper says of a picture it has decoded.
picture_header describe(const SDL_Surface* s);

// Moves n bytes through a pipe or file in steps: step(done) moves some of the rest and says how
// many, as read() and write() do. A step that was interrupted, or found nothing ready yet, is
// taken again; false once one moves nothing or fails.
template <typename Step> bool move_all(size_t n, Step step) {
    for (size_t done = 0; done < n;) {
        ssize_t moved = step(done);
        if (moved < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (moved <= 0)
            return false;
        done += (size_t)moved;
    }
    return true;
}

// In the toy, before a helper is started: learns what this system can confine one with, and says
// once on standard error what it cannot.
void helper_prepare();

// Whether this system holds a helper to its memory limit; an emulator may not.
bool helper_memory_held();

// In the newly forked helper: reads size bytes from file, confines itself, decodes them as
// IMG_Load does (type is the file's extension, a hint) and sends the picture back: its rows into
// the memory file pixels, then its description down out. Never returns.
[[noreturn]] void helper_run(int file, off_t size, const char* type, int out, int pixels,
                             pid_t toy);

// The limits on memory, time and processes that helper_run sets before it reads the file (then it
// enters the sandbox, keeping out and pixels). False if one could not be set: the helper must
// then decode nothing.
bool helper_limit();
