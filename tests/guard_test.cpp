// Broken and unusual files under a picture's name: each loads or is reported, once, and
// nothing hangs or crashes, whatever the picture library would do with it alone.
#include "image.h"
#include "support/frames.h"
#include "support/odd_files.h"
#include "support/pictures.h"

#include <gtest/gtest.h>
#include <unistd.h>

struct OddFile : testing::TestWithParam<odd_file> {};

TEST_P(OddFile, LoadsOrIsReportedOnceAndDrawsSafely) {
    const odd_file& odd = GetParam();
    std::string dir = make_temp_dir();
    std::string path = dir + "/camiseta.png";
    ASSERT_TRUE(odd.make(path)) << "cannot make " << odd.name;
    // Root reads a file whatever its permissions say.
    bool shows = odd.shows || (geteuid() == 0 && std::string(odd.name) == "unreadable");

    testing::internal::CaptureStdout();
    image* img = image_create(path.c_str());
    std::string said = testing::internal::GetCapturedStdout();
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->surface != nullptr, shows);
    EXPECT_EQ(said, shows ? "" : "Malamente! No carga\n");

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
