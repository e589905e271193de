// Decoding in a page. The browser's sandbox holds the whole toy, so a picture is decoded in
// place, from the page's own file system, by SDL_image's IMG_Load. In this build that is
// Emscripten's SDL_image, which hands the file to stb_image compiled into the page (CMakeLists.txt
// links it with -sSTB_IMAGE=1): it reads a PNG's own values as the desktop's SDL_image does, where
// the browser's decoders would apply its colour chunks. What SDL 1.2 could not place is refused,
// as on the desktop.
#include "decode.h"

#include "placeable.h"

#include <SDL_image.h>

#include <vector>

extern "C" int stbi_info(const char* path, int* w, int* h, int* components);

struct decoding {
    std::vector<SDL_Surface*> pictures; // as decoded, or null where refused
};

// stb_image decodes into 4 bytes a pixel, so what a picture would take is known from its header:
// a bomb is refused before any of it is allocated, as a helper's memory limit refuses it on the
// desktop. What stb_image cannot read at all is left to IMG_Load to report.
static bool fits(const char* path) {
    int w = 0, h = 0, components = 0;
    return !stbi_info(path, &w, &h, &components) ||
           (uint64_t)w * (uint64_t)h * 4 <= largest_picture_bytes;
}

static SDL_Surface* decode(const char* path) {
    SDL_Surface* picture = fits(path) ? IMG_Load(path) : nullptr;
    if (picture && !placeable(shape_of(picture))) {
        SDL_FreeSurface(picture);
        return nullptr;
    }
    return picture;
}

decoding* decode_start(const char* const* paths, int count) {
    decoding* d = new decoding;
    for (int i = 0; i < count; i++)
        d->pictures.push_back(decode(paths[i]));
    return d;
}

bool decode_finish(decoding* d, SDL_Surface** pictures, bool (*)()) {
    for (size_t i = 0; i < d->pictures.size(); i++)
        pictures[i] = d->pictures[i];
    delete d;
    return true;
}

void decode_release(SDL_Surface* picture) {
    SDL_FreeSurface(picture);
}
