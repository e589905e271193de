// Writes the helper reply fuzzer's seeds: honest replies, as a helper sends them for the bundled
// pictures and for each depth SDL_image's BMP reader gives, with a palette and a colour key.
//   seed_replies PICTURES_FOLDER SEEDS_FOLDER
#include "helper.h"
#include "helper_reply.h"

#include <SDL_image.h>

#include <algorithm>
#include <cstdio>
#include <string>

// The description the helper would send, and as many of the rows as make a small seed: the rest
// of the memory file reads as zeros, and it is its size that matters. The picture is freed.
static bool write_seed(const std::string& path, SDL_Surface* s) {
    picture_header h = describe(s);
    std::string piped((const char*)&h, sizeof h);
    if (s->format->palette)
        piped.append((const char*)s->format->palette->colors, h.shape.colours * sizeof(SDL_Color));
    uint32_t bytes = (uint32_t)s->pitch * (uint32_t)s->h;
    reply_start r = {bytes, (uint16_t)piped.size(), 0, 0};
    std::string seed = std::string((const char*)&r, sizeof r) + piped +
                       std::string((const char*)s->pixels, std::min<uint32_t>(bytes, 1024));
    SDL_FreeSurface(s);
    FILE* f = fopen(path.c_str(), "wb");
    bool ok = f && fwrite(seed.data(), 1, seed.size(), f) == seed.size();
    return f && fclose(f) == 0 && ok;
}

static SDL_Surface* bmp_like(int bits, Uint32 r, Uint32 g, Uint32 b, Uint32 a) {
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 64, 48, bits, r, g, b, a);
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0x20, 0x80, 0xC0));
    return s;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s PICTURES_FOLDER SEEDS_FOLDER\n", argv[0]);
        return 2;
    }
    std::string from = argv[1], to = std::string(argv[2]) + "/";
    bool ok = true;
    for (const char* name : {"model", "pant", "sabates", "camiseta", "bufanda_gorro"}) {
        SDL_Surface* s = IMG_Load((from + "/" + name + ".png").c_str());
        ok = ok && s && write_seed(to + name, s);
    }
    SDL_Surface* palette = bmp_like(8, 0, 0, 0, 0);
    SDL_Color colours[16];
    for (int i = 0; i < 16; i++)
        colours[i] = {(Uint8)(i * 16), (Uint8)(255 - i * 16), (Uint8)(i * 8), 0};
    SDL_SetColors(palette, colours, 0, 16);
    SDL_Surface* keyed = bmp_like(8, 0, 0, 0, 0);
    SDL_SetColors(keyed, colours, 0, 16);
    SDL_SetColorKey(keyed, SDL_SRCCOLORKEY, 3);
    struct {
        const char* name;
        SDL_Surface* s;
    } depths[] = {
        {"bmp-8-palette", palette},
        {"bmp-8-colour-key", keyed},
        {"bmp-15", bmp_like(15, 0x7C00, 0x3E0, 0x1F, 0)},
        {"bmp-16", bmp_like(16, 0xF800, 0x7E0, 0x1F, 0)},
        {"bmp-24", bmp_like(24, 0xFF0000, 0xFF00, 0xFF, 0)},
        {"bmp-32", bmp_like(32, 0xFF0000, 0xFF00, 0xFF, 0)},
        {"bmp-32-alpha", bmp_like(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)},
    };
    for (const auto& d : depths)
        ok = ok && d.s && write_seed(to + d.name, d.s);
    if (!ok)
        fprintf(stderr, "seed_replies: %s\n", SDL_GetError());
    return ok ? 0 : 1;
}
