#include "image.h"

#include "decode.h"

#include <cstdio>
#include <cstdlib>

// Clothes start in the right-hand part of the window: left edges 400..899 and
// top edges among the even values up to 410 that the mask lets through.
const int start_left = 400;
const int start_span = 500;
const int start_top_mask = 0x19A;

image* image_create(const char* path) {
    SDL_Surface* decoded;
    decode_finish(decode_start(&path, 1), &decoded, nullptr);
    return image_create(decoded);
}

image* image_create(SDL_Surface* decoded) {
    image* img = (image*)malloc(sizeof(image));
    if (!img) {
        fprintf(stderr, "dressup: out of memory for a picture\n");
        decode_release(decoded);
        return nullptr;
    }
    img->surface = decoded;
    if (!img->surface) {
        printf("Malamente! No carga\n");
        fflush(stdout); // show it now, not when the window closes
    }
    img->x = rand() % start_span + start_left;
    img->y = rand() & start_top_mask;
    img->w = 0;
    img->h = 0;
    return img;
}

void image_blit(int x, int y, image* img, SDL_Surface* dst) {
    if (x == image_stored && y == image_stored) {
        x = img->x;
        y = img->y;
    }
    img->x = x;
    img->y = y;
    // A picture that failed to load has no size, so nothing can ever grab it.
    img->w = img->surface ? img->surface->w : 0;
    img->h = img->surface ? img->surface->h : 0;
    if (!img->surface)
        return;
    SDL_Rect where = {(Sint16)x, (Sint16)y, (Uint16)img->w, (Uint16)img->h};
    SDL_BlitSurface(img->surface, nullptr, dst, &where);
}

void image_destroy(image* img) {
    decode_release(img->surface);
    free(img);
}
