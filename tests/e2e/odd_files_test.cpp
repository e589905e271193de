// The toy with a broken or unusual file under one picture's name: it opens, shows the rest,
// reports that one at most once, lets the user drag, and closes with status 0.
#include "support/odd_files.h"
#include "toy.h"

#include <gtest/gtest.h>

struct OddPicture : testing::TestWithParam<odd_file> {
    toy t = {};
    void TearDown() override { toy_stop(&t); }
};

TEST_P(OddPicture, ToyStillOpensDragsAndCloses) {
    std::string missing;
    requested_sdl(&missing);
    if (!missing.empty())
        GTEST_SKIP() << missing;
    const odd_file& odd = GetParam();
    std::vector<test_picture> pictures = standard_pictures();
    test_picture& shirt = pictures[camiseta];
    shirt = {"camiseta.png", odd.w,      odd.h,    odd.rgb,  odd.rgb, odd.rgb, 255,
             png_rgb,        !odd.shows, odd.make, odd.slack};
    t.unprivileged = std::string(odd.name) == "unreadable"; // root reads anything
    std::string why;
    ASSERT_TRUE(toy_start(&t, pictures, &why)) << why;
    EXPECT_EQ(toy_output(&t), odd.shows ? "" : "Malamente! No carga\n");

    toy_move(&t, 700, 50);
    toy_button(&t, 1, true);
    toy_move(&t, 701, 51);
    t.scene[pant].x++;
    t.scene[pant].y++;
    EXPECT_TRUE(wait_for_scene(&t, &why)) << "dragging the trousers: " << why;
    toy_button(&t, 1, false);

    ask_to_close(t.x.dpy, t.window.top);
    EXPECT_EQ(wait_child(&t.program, 10000), 0);
    EXPECT_EQ(toy_output(&t), odd.shows ? "" : "Malamente! No carga\n");
}

INSTANTIATE_TEST_SUITE_P(Files, OddPicture, testing::ValuesIn(odd_files()),
                         [](const auto& info) { return test_name(info.param); });
