// Loading pictures, their start places, and drawing them where asked or where they were.
#include "image.h"
#include "support/frames.h"
#include "support/pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

TEST(ImageCreate, StartPlacesFollowTheUnseededGenerator) {
    srand(1); // the sequence an unseeded glibc rand gives
    testing::internal::CaptureStdout();
    int want[][2] = {{783, 386}, {677, 18}, {693, 154}, {786, 136}, {549, 136}};
    for (auto& place : want) {
        image* img = image_create("/nonexistent/picture.png");
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(img->x, place[0]);
        EXPECT_EQ(img->y, place[1]);
        image_destroy(img);
    }
    for (int i = 0; i < 2000; i++) {
        image* img = image_create("/nonexistent/picture.png");
        EXPECT_GE(img->x, 400);
        EXPECT_LE(img->x, 899);
        EXPECT_EQ(img->y & ~0x19A, 0) << img->y << " is not a possible top edge";
        image_destroy(img);
    }
    testing::internal::GetCapturedStdout();
}

TEST(ImageCreate, FailureLineOnlyForPicturesThatDoNotLoad) {
    std::string dir = make_temp_dir();
    ASSERT_TRUE(write_solid_png(dir + "/ok.png", 30, 20, 0xFF336699, png_rgba));
    testing::internal::CaptureStdout();
    image* good = image_create((dir + "/ok.png").c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_NE(good->surface, nullptr);
    EXPECT_EQ(good->surface->w, 30);
    EXPECT_EQ(good->surface->h, 20);

    testing::internal::CaptureStdout();
    image* missing = image_create((dir + "/missing.png").c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Malamente! No carga\n");
    EXPECT_EQ(missing->surface, nullptr);
    image_destroy(good);
    image_destroy(missing);
    remove_tree(dir);
}

TEST(ImageBlit, StoredPlaceSentinelAndClipping) {
    SDL_Surface* screen = dummy_screen();
    image* img = solid_image(30, 20, 0xABCDEF, 677, 18);
    SDL_FillRect(screen, nullptr, 0);
    image_blit(image_stored, image_stored, img, screen);
    EXPECT_EQ(pixel_at(screen, 677, 18), 0xABCDEFu);
    EXPECT_EQ(pixel_at(screen, 706, 37), 0xABCDEFu);
    EXPECT_EQ(pixel_at(screen, 707, 37), 0u);
    EXPECT_EQ(pixel_at(screen, 676, 18), 0u);
    EXPECT_EQ(img->w, 30);
    EXPECT_EQ(img->h, 20);

    image_blit(100, 100, img, screen);
    EXPECT_EQ(pixel_at(screen, 100, 100), 0xABCDEFu);
    EXPECT_EQ(img->x, 100);
    EXPECT_EQ(img->y, 100);

    // Only both coordinates at -1 mean "stay"; one alone is a real place.
    SDL_FillRect(screen, nullptr, 0);
    image_blit(-1, 5, img, screen);
    EXPECT_EQ(img->x, -1);
    EXPECT_EQ(img->y, 5);
    EXPECT_EQ(pixel_at(screen, 0, 5), 0xABCDEFu);
    EXPECT_EQ(pixel_at(screen, 28, 24), 0xABCDEFu);
    EXPECT_EQ(pixel_at(screen, 29, 24), 0u);

    // Partly off the bottom right: drawn clipped, place kept as given.
    SDL_FillRect(screen, nullptr, 0);
    image_blit(1010, 500, img, screen);
    EXPECT_EQ(pixel_at(screen, 1023, 511), 0xABCDEFu);
    EXPECT_EQ(pixel_at(screen, 1009, 511), 0u);
    image_blit(-25, -15, img, screen);
    image_blit(image_stored, image_stored, img, screen);
    EXPECT_EQ(img->x, -25);
    EXPECT_EQ(img->y, -15);
    EXPECT_EQ(pixel_at(screen, 4, 4), 0xABCDEFu);
    EXPECT_EQ(pixel_at(screen, 5, 4), 0u);
    EXPECT_EQ(pixel_at(screen, 4, 5), 0u);
    image_destroy(img);
}

TEST(ImageBlit, PictureThatFailedDrawsNothingAndHasNoSize) {
    SDL_Surface* screen = dummy_screen();
    image* img = solid_image(1, 1, 0, 600, 300);
    SDL_FreeSurface(img->surface);
    img->surface = nullptr;
    scribble(screen);
    const uint8_t* pixels = (const uint8_t*)screen->pixels;
    std::vector<uint8_t> before(pixels, pixels + screen->pitch * screen->h);
    image_blit(300, 200, img, screen);
    image_blit(image_stored, image_stored, img, screen);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), pixels)) << "the screen changed";
    EXPECT_EQ(img->x, 300);
    EXPECT_EQ(img->y, 200);
    EXPECT_EQ(img->w, 0);
    EXPECT_EQ(img->h, 0);
    image_destroy(img);
}
