// The toy on native Wayland, with no X server at all: a headless compositor, real frames out.
#include "support/wayland.h"
#include "toy.h"

#include <gtest/gtest.h>

struct NativeWayland : testing::Test {
    toy t = {};
    compositor c = {};
    std::vector<test_picture> pictures = standard_pictures();

    void SetUp() override {
        std::string missing = compositor_missing();
        if (missing.empty())
            requested_sdl(&missing);
        if (missing.empty() && !on_sdl12_compat())
            missing = "classic SDL 1.2 has no Wayland driver";
        if (!missing.empty())
            GTEST_SKIP() << missing;
    }
    void TearDown() override {
        toy_stop(&t);
        compositor_stop(&c);
    }

    bool start() {
        std::string why;
        // The pointer comes first, so the toy finds it on the seat from the start, and waits
        // outside the window.
        bool up = toy_prepare(&t, pictures, &why) && compositor_start(&c, &why) &&
                  pointer_add(&c, 1270, 790, &why) && toy_launch(&t, compositor_env(&c), &why) &&
                  expect_frame(&why);
        EXPECT_TRUE(up) << why << read_file(t.program.err_path);
        return up;
    }

    bool expect_frame(std::string* why) {
        return wait_for_frame(
            &t, [this] { return screenshot(&c, 0, 0, window_w, window_h); }, why);
    }
};

TEST_F(NativeWayland, OpensShowsTheFirstFrameDragsAndClosesWithStatusZero) {
    ASSERT_TRUE(start()); // every pixel of the first frame
    std::string why;
    pointer_to(&c, 700, 50); // inside the trousers
    press_button(&c, 1, true);
    for (int i = 1; i <= 5 && !HasFailure(); i++) {
        int x = 700 - 7 * i, y = 50 + 3 * i;
        pointer_to(&c, x, y);
        t.covered = {x - 8, y - 8, 48, 48}; // the compositor draws its cursor into the output
        t.scene[1].x -= 7;
        t.scene[1].y += 3;
        EXPECT_TRUE(expect_frame(&why)) << "after drag motion " << i << ": " << why;
    }
    press_button(&c, 1, false);
    // The close button; found by the app id that matches the window to its menu entry.
    EXPECT_EQ(compositor_command(&c, "[app_id=\"^dressup$\"] kill"), 0) << "no window of that id";
    EXPECT_EQ(wait_child(&t.program, 10000), 0) << read_file(t.program.err_path);
}
