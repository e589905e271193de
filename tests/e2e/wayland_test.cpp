// The toy on native Wayland, with no X server at all: a headless compositor, real frames out.
#include "support/frames.h"
#include "support/wayland.h"
#include "toy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

    int top = -1; // the output's row where the scene starts: the height of any title bar

    bool start(env_list env = {}) {
        std::string why;
        // The pointer comes first, so the toy finds it on the seat from the start, and waits
        // outside the window.
        bool up = toy_prepare(&t, pictures, &why) && compositor_start(&c, &why) &&
                  pointer_add(&c, 1270, 790, &why);
        env_list on = compositor_env(&c);
        env.insert(env.begin(), on.begin(), on.end());
        up = up && toy_launch(&t, env, &why) && find_scene(&why) && expect_frame(&why);
        EXPECT_TRUE(up) << why << read_file(t.program.err_path);
        return up;
    }

    bool expect_frame(std::string* why) {
        return wait_for_frame(
            &t, [this] { return screenshot(&c, 0, top, window_w, window_h); }, why);
    }

    // The scene's first row is all background: the first such row on the output is top.
    bool find_scene(std::string* why) {
        const int most = 100;
        for (int tries = 0; tries < 500; tries++, usleep(20000)) {
            std::vector<uint32_t> shot = screenshot(&c, 0, 0, window_w, most);
            for (top = 0; top < most && !shot.empty(); top++) {
                int x = 0;
                while (x < window_w && shot[(size_t)top * window_w + x] == background_at(x, 0))
                    x++;
                if (x == window_w)
                    return true;
            }
        }
        *why = "the scene never showed in the output's first rows";
        return false;
    }
};

TEST_F(NativeWayland, OpensShowsTheFirstFrameDragsAndClosesWithStatusZero) {
    ASSERT_TRUE(start()); // every pixel of the first frame
    EXPECT_EQ(top, 0) << "the compositor draws no border, so nothing is above the scene";
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

// Where the compositor draws no title bar (GNOME, or KWin without its decorations), SDL draws
// one through libdecor; forced here, on a compositor that would otherwise draw its own.
TEST_F(NativeWayland, DrawsItsOwnTitleBarWhoseCloseButtonEndsItWithStatusZero) {
    std::string plugins = "/usr/lib/" MULTIARCH "/libdecor/plugins-1";
    struct stat st;
    if (stat(plugins.c_str(), &st) != 0)
        GTEST_SKIP() << "no libdecor plugin in " << plugins << ": nothing could draw a title bar";
    ASSERT_TRUE(start({{"SDL_VIDEO_WAYLAND_PREFER_LIBDECOR", "1"}, {"LIBDECOR_FORCE_CSD", "1"}}));
    EXPECT_GE(top, 20) << "no title bar above the scene";
    // The close button ends the bar. A plugin finds what is under the pointer as it moves.
    pointer_to(&c, window_w - top / 2 - 1, top / 2);
    pointer_to(&c, window_w - top / 2, top / 2);
    press_button(&c, 1, true);
    press_button(&c, 1, false);
    EXPECT_EQ(wait_child(&t.program, 10000), 0) << read_file(t.program.err_path);
}
