// What the toy and a decoding helper share: how a helper is started, and the description of its
// picture that comes back down its pipe. The helper has run a decoder on untrusted bytes, so the
// toy checks that description with the same rule before it believes any of it.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <cstdint>
#include <initializer_list>

// What a helper may take. Every picture a person could mean fits: a 48-megapixel photo decodes
// into 144 MB, 12000 x 12000 RGBA into 576 MB. A picture bomb (a small file declaring
// 16000 x 16000) fails at its first allocation instead.
const rlim_t decoder_memory = 640 << 20; // the file's bytes and the decoding, together
// SDL 1.2 places pictures with 16-bit coordinates and keeps a surface's pitch in 16 bits.
const int largest_side = 32767;
const int largest_pitch = 65535;

// What comes down the pipe once the rows are in the memory file: the picture's size, pixel
// format, colour key and alpha settings, as decoded. Then the palette's colours.
struct picture_header {
    int32_t w, h, bits, pitch;
    uint32_t masks[4]; // red, green, blue, alpha
    uint32_t flags;    // SDL_SRCCOLORKEY and SDL_SRCALPHA, as decoded
    uint32_t colorkey;
    uint32_t alpha;
    int32_t colours;
};

inline long row_bytes(const picture_header& h) {
    return h.bits < 8 ? ((long)h.w * h.bits + 7) / 8 : (long)h.w * ((h.bits + 7) / 8);
}

// A picture SDL 1.2 can hold and the toy can place.
inline bool acceptable(const picture_header& h) {
    bool depth = false;
    for (int bits : {1, 2, 4, 8, 15, 16, 24, 32})
        depth = depth || h.bits == bits;
    return depth && h.w >= 1 && h.w <= largest_side && h.h >= 1 && h.h <= largest_side &&
           h.pitch >= row_bytes(h) && h.pitch <= largest_pitch &&
           (rlim_t)h.pitch * (rlim_t)h.h <= decoder_memory && h.colours >= 0 &&
           h.colours <= (h.bits <= 8 ? 1 << h.bits : 0);
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

// helper_run's limits on memory, time and processes, before it reads the file; once it has, it
// enters the sandbox, keeping out and pixels.
void helper_limit();
