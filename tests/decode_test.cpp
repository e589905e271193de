// Broken, unusual and hostile files under a picture's name: each loads or is reported, once,
// and nothing hangs or crashes, whatever the picture library would do with it alone. What
// loads is what the library decodes, as it decodes it.
#include "decode.h"
#include "image.h"
#include "support/frames.h"
#include "support/odd_files.h"
#include "support/pictures.h"

#include <SDL_image.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

struct OddFile : testing::TestWithParam<odd_file> {};

// The helper's picture against the library's own, decoded here: size, pixel format, palette,
// colour key, alpha settings and every pixel.
static void expect_as_decoded(const SDL_Surface* got, const std::string& path) {
    SDL_Surface* want = IMG_Load(path.c_str());
    ASSERT_NE(want, nullptr) << IMG_GetError();
    const SDL_PixelFormat *g = got->format, *w = want->format;
    EXPECT_EQ(got->w, want->w);
    EXPECT_EQ(got->h, want->h);
    EXPECT_EQ(g->BitsPerPixel, w->BitsPerPixel);
    EXPECT_EQ(g->Rmask, w->Rmask);
    EXPECT_EQ(g->Gmask, w->Gmask);
    EXPECT_EQ(g->Bmask, w->Bmask);
    EXPECT_EQ(g->Amask, w->Amask);
    const Uint32 settings = SDL_SRCCOLORKEY | SDL_SRCALPHA;
    EXPECT_EQ(got->flags & settings, want->flags & settings);
    if (want->flags & SDL_SRCCOLORKEY) {
        EXPECT_EQ(g->colorkey, w->colorkey);
    }
    EXPECT_EQ(g->alpha, w->alpha);
    ASSERT_EQ(g->palette != nullptr, w->palette != nullptr);
    for (int i = 0; w->palette && i < w->palette->ncolors; i++)
        EXPECT_EQ(memcmp(&g->palette->colors[i], &w->palette->colors[i], 3), 0) << "colour " << i;
    size_t row = (size_t)want->w * w->BytesPerPixel;
    for (int y = 0; y < want->h && !testing::Test::HasFailure(); y++)
        EXPECT_EQ(memcmp((Uint8*)got->pixels + y * got->pitch,
                         (Uint8*)want->pixels + y * want->pitch, row),
                  0)
            << "row " << y;
    SDL_FreeSurface(want);
}

TEST_P(OddFile, LoadsOrIsReportedOnceAndDrawsSafely) {
    const odd_file& odd = GetParam();
    std::string dir = make_temp_dir();
    std::string path = dir + "/camiseta.png";
    ASSERT_TRUE(odd.make(path)) << "cannot make " << odd.name;
    // Root reads a file whatever its permissions say.
    bool shows = odd.shows || (geteuid() == 0 && std::string(odd.name) == "unreadable");

    testing::internal::CaptureStdout();
    decoding d;
    decode_start(&d, path.c_str());
    if (odd.swap) {
        ASSERT_TRUE(odd.swap(path));
    }
    ASSERT_TRUE(decode_finish(&d, 1, nullptr));
    image* img = image_create(d.picture);
    std::string said = testing::internal::GetCapturedStdout();
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->surface != nullptr, shows);
    EXPECT_EQ(said, shows ? "" : "Malamente! No carga\n");
    if (odd.shows && !odd.swap && odd.w * odd.h < 1000000)
        expect_as_decoded(img->surface, path);

    // Drawn anywhere, clipped on every side, it stays inside its memory.
    SDL_Surface* screen = dummy_screen();
    for (int x : {-40000, -32768, -100, 0, 500, 1000, 40000})
        for (int y : {-40000, -32768, -100, 0, 300, 500, 40000})
            image_blit(x, y, img, screen);
    if (shows && odd.w > 0) {
        EXPECT_EQ(img->w, odd.w);
        EXPECT_EQ(img->h, odd.h);
    }
    image_destroy(img);
    remove_tree(dir);
}

INSTANTIATE_TEST_SUITE_P(Files, OddFile, testing::ValuesIn(odd_files()),
                         [](const auto& info) { return test_name(info.param); });
