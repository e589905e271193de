// Decoding in a page. The browser's sandbox holds the whole toy, so there is no helper process:
// a picture is decoded in place, from the page's own file system, by stb_image compiled into
// the page, which reads a PNG's own values as SDL_image does (the browser's decoders would
// apply its colour chunks). What SDL 1.2 could not place is refused, as on the desktop.
#include "decode.h"

#include "helper.h"

#include <SDL_image.h>

extern "C" int stbi_info(const char* path, int* w, int* h, int* components);

// stb_image decodes into 4 bytes a pixel, so what a picture would take is known from its header:
// a bomb is refused before any of it is allocated, as a helper's memory limit refuses it on the
// desktop. What stb_image cannot read at all is left to IMG_Load to report.
static bool fits(const char* path) {
    int w = 0, h = 0, components = 0;
    return !stbi_info(path, &w, &h, &components) || (rlim_t)w * (rlim_t)h * 4 <= decoder_memory;
}

// The same rule as for a helper's description of its picture.
static bool placeable(const SDL_Surface* s) {
    const SDL_PixelFormat* f = s->format;
    picture_header h = {
        s->w, s->h, f->BitsPerPixel, s->pitch, {f->Rmask, f->Gmask, f->Bmask, f->Amask}, 0, 0,
        0,    0};
    return acceptable(h);
}

void decode_start(decoding* d, const char* path) {
    *d = {0, -1, -1, {}, fits(path) ? IMG_Load(path) : nullptr};
    if (d->picture && !placeable(d->picture)) {
        SDL_FreeSurface(d->picture);
        d->picture = nullptr;
    }
}

bool decode_finish(decoding*, int, bool (*)()) {
    return true;
}

void decode_release(SDL_Surface* picture) {
    SDL_FreeSurface(picture);
}
