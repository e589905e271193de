// The background gradient, the pixel writer and how a repaint composes the scene.
#include "app.h"
#include "draw.h"
#include "image.h"
#include "rep.h"
#include "support/frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

// Every pixel outside the rectangles shows the gradient; inside, the picture's colour.
struct patch {
    int x, y, w, h;
    uint32_t rgb;
};

static void expect_frame(SDL_Surface* screen, const std::vector<patch>& patches) {
    int wrong = 0;
    for (int y = 0; y < 512; y++) {
        for (int x = 0; x < 1024; x++) {
            uint32_t want = background_at(x, y);
            for (const patch& p : patches)
                if (x >= p.x && x < p.x + p.w && y >= p.y && y < p.y + p.h)
                    want = p.rgb;
            uint32_t got = pixel_at(screen, x, y);
            if (got != want && wrong++ < 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): want " << std::hex << want
                              << ", got " << got;
        }
    }
    EXPECT_EQ(wrong, 0) << "wrong pixels in the frame";
}

TEST(Background, GradientValuesEverywhere) {
    SDL_Surface* screen = dummy_screen();
    ASSERT_NE(screen, nullptr);
    scribble(screen);
    paint_background(screen);
    struct sample {
        int x, y, v;
    } samples[] = {{0, 0, 155},  {24, 0, 155},   {0, 70, 155},  {25, 0, 156},
                   {0, 71, 156}, {1023, 0, 195}, {0, 511, 207}, {1023, 511, 247}};
    for (const sample& s : samples) {
        uint32_t want = (uint32_t)s.v << 16 | (uint32_t)s.v << 8 | 244;
        EXPECT_EQ(pixel_at(screen, s.x, s.y), want) << "at (" << s.x << ", " << s.y << ")";
    }
    for (int y = 0; y < 512; y++) {
        for (int x = 0; x < 1024; x++) {
            uint32_t p = pixel_at(screen, x, y);
            ASSERT_EQ(p >> 24, 0u) << "top byte at (" << x << ", " << y << ")";
            ASSERT_EQ(p >> 16 & 0xFF, p >> 8 & 0xFF)
                << "red != green at (" << x << ", " << y << ")";
            ASSERT_EQ(p & 0xFF, 244u) << "blue at (" << x << ", " << y << ")";
        }
    }
    expect_frame(screen, {});
}

TEST(Repaint, FigureFixedClothesInListOrderOldPlacesRepainted) {
    SDL_Surface* screen = dummy_screen();
    rep scene;
    scene.screen = screen;
    scene.model = solid_image(60, 300, 0x202020, 783, 386);
    image* low = solid_image(80, 50, 0xFF0000, 500, 200);
    image* high = solid_image(80, 50, 0x00FF00, 540, 220);
    image* clipped = solid_image(40, 40, 0x0000FF, -10, 490);
    scene.items = {low, high, clipped};
    scribble(screen);
    repaint(&scene);
    EXPECT_EQ(scene.model->x, 100);
    EXPECT_EQ(scene.model->y, 100);
    expect_frame(screen, {{100, 100, 60, 300, 0x202020},
                          {500, 200, 80, 50, 0xFF0000},
                          {540, 220, 80, 50, 0x00FF00},
                          {0, 490, 30, 22, 0x0000FF}});
    EXPECT_EQ(clipped->x, -10) << "a clipped picture keeps its own place";

    // Moved away: where it stood shows the gradient again, and the figure stays put.
    low->x = 50;
    low->y = 130;
    high->x = 900;
    repaint(&scene);
    expect_frame(screen, {{100, 100, 60, 300, 0x202020},
                          {50, 130, 80, 50, 0xFF0000},
                          {900, 220, 80, 50, 0x00FF00},
                          {0, 490, 30, 22, 0x0000FF}});
    unload_scene(&scene);
}

TEST(Pset, EveryFormWritesTheSameWordAtTheRowPitch) {
    // Rows padded to 40 bytes, so a writer that ignores the pitch lands in the wrong place.
    std::vector<uint32_t> pixels(10 * 6, 0x77777777);
    SDL_Surface* s =
        SDL_CreateRGBSurfaceFrom(pixels.data(), 8, 6, 32, 40, 0xFF0000, 0xFF00, 0xFF, 0);
    pset(3, 2, 0x12, 0x34, 0x56, s);
    EXPECT_EQ(pixels[2 * 10 + 3], 0x00123456u);
    pset(7, 5, color{0.5f, 0.25f, 0.99f}, s);
    EXPECT_EQ(pixels[5 * 10 + 7], 0x008040FDu);
    pset(0, 0, 0.5f, 0.25f, 0.99f, s);
    EXPECT_EQ(pixels[0], 0x008040FDu);
    pset(1, 1, (char)0x12, (char)0xF4, (char)0x56, s);
    EXPECT_EQ(pixels[10 + 1], 0x0012F456u);
    int untouched = 0;
    for (uint32_t p : pixels)
        untouched += p == 0x77777777;
    EXPECT_EQ(untouched, 60 - 4);
    SDL_FreeSurface(s);

    // A browser's canvas keeps bytes R, G, B, A in memory: written through the format, not as
    // 0x00RRGGBB, whose red would come out blue.
    uint32_t word = 0;
    s = SDL_CreateRGBSurfaceFrom(&word, 1, 1, 32, 4, 0xFF, 0xFF00, 0xFF0000, 0xFF000000);
    pset(0, 0, 0x12, 0x34, 0x56, s);
    EXPECT_EQ(word, 0x00563412u);
    SDL_FreeSurface(s);

    // A component scaled by 256 keeps only its low byte; wild values give 0, not a crash.
    color c = {1.0f, -0.5f, 0.0f};
    EXPECT_EQ(c.rc(), 0);
    EXPECT_EQ(c.gc(), 0x80);
    EXPECT_EQ(c.bc(), 0);
    color wild = {1e30f, -1e30f, NAN};
    EXPECT_EQ(wild.rc() | wild.gc() | wild.bc(), 0);
}
