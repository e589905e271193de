// What SDL 1.2 can hold and the toy can place: the rule every decoded picture meets before any
// of it is drawn, on the desktop and in a page alike.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <initializer_list>

// SDL 1.2 places pictures with 16-bit coordinates and keeps a surface's pitch in 16 bits.
const int largest_side = 32767;
const int largest_pitch = 65535;
// Every picture a person could mean fits: a 48-megapixel photo decodes into 144 MB, 12000 x 12000
// RGBA into 576 MB. A picture bomb (a small file declaring 16000 x 16000) does not.
const uint64_t largest_picture_bytes = 640 << 20;

// A picture's size and layout, as its decoder gives them.
struct picture_shape {
    int32_t w, h, bits, pitch;
    int32_t colours; // in its palette; 0 without one
};

inline picture_shape shape_of(const SDL_Surface* s) {
    const SDL_PixelFormat* f = s->format;
    return {s->w, s->h, f->BitsPerPixel, s->pitch, f->palette ? f->palette->ncolors : 0};
}

inline long row_bytes(const picture_shape& s) {
    return (long)s.w * ((s.bits + 7) / 8);
}

// Only whole bytes a pixel: SDL 1.2.15 starts a clipped blit at x times the bytes a pixel, which
// for 1 bit is 8 times too far into the row, and it draws 2- and 4-bit pictures not at all. No
// decoder of SDL_image 1.2 or of the page gives fewer than 8 bits, so no honest picture is lost.
inline bool placeable(const picture_shape& s) {
    bool depth = false;
    for (int bits : {8, 15, 16, 24, 32})
        depth = depth || s.bits == bits;
    return depth && s.w >= 1 && s.w <= largest_side && s.h >= 1 && s.h <= largest_side &&
           s.pitch >= row_bytes(s) && s.pitch <= largest_pitch &&
           (uint64_t)s.pitch * (uint64_t)s.h <= largest_picture_bytes && s.colours >= 0 &&
           s.colours <= (s.bits <= 8 ? 1 << s.bits : 0);
}
