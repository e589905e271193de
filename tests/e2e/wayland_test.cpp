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

    bool start(const env_list& env = {}) {
        std::string why;
        bool up = toy_start_wayland(&t, &c, pictures, env, &why);
        EXPECT_TRUE(up) << why << read_file(t.program.err_path);
        return up;
    }

    void expect_scene(const std::string& when) {
        std::string why;
        EXPECT_TRUE(wait_for_scene(&t, &why)) << when << ": " << why;
    }

    // A few motions carry the trousers; then a long drag faster than the window can update,
    // whose every motion must count and whose release must hold.
    void drag_fast_and_slow() {
        toy_move(&t, 700, 50); // inside the trousers
        toy_button(&t, 1, true);
        for (int i = 1; i <= 5 && !HasFailure(); i++) {
            int x = 700 - 7 * i, y = 50 + 3 * i;
            toy_move(&t, x, y);
            t.scene[pant].x -= 7;
            t.scene[pant].y += 3;
            expect_scene("after drag motion " + std::to_string(i));
        }
        toy_button(&t, 1, false);
        fast_drag(&t, 400, 250);
        expect_scene("after 400 motions at 250 a second, the release and 40 more");
    }
};

TEST_F(NativeWayland, OpensShowsTheFirstFrameRestsKeepsUpWithAFastDragAndClosesWithStatusZero) {
    // Each update 20 ms longer, as without a GPU: five motions arrive during one.
    ASSERT_TRUE(start(probe_updates(20))); // every pixel of the first frame
    EXPECT_EQ(t.top, 0) << "the compositor draws no border, so nothing is above the scene";
    EXPECT_LT(processor_share(&t, 2000), 0.05) << "of a core, at rest";
    drag_fast_and_slow();
    // The close button; found by the app id that matches the window to its menu entry.
    EXPECT_EQ(compositor_command(&c, "[app_id=\"^dressup$\"] kill"), 0) << "no window of that id";
    EXPECT_EQ(wait_child(&t.program, 10000), 0) << read_file(t.program.err_path);
}

// On an output scaled by 2 the window has its size in the desktop's units, 2048 x 1024 pixels,
// each of the scene's pixels a crisp 2 x 2 block, and a drag follows the pointer.
TEST_F(NativeWayland, ScaledByTwoTheWindowKeepsItsSizeCrispAndFollowsADrag) {
    c.scale = 2;
    ASSERT_TRUE(start());
    std::vector<uint32_t> shot = screenshot(&c, 0, t.top, window_w, window_h);
    ASSERT_EQ(shot.size(), (size_t)4 * window_w * window_h);
    int blended = 0;
    for (size_t y = 0; y < 2 * window_h; y++)
        for (size_t x = 0; x < 2 * window_w; x++)
            blended += shot[y * 2 * window_w + x] != shot[(y / 2 * 2 * window_w + x / 2) * 2];
    EXPECT_EQ(blended, 0) << "pixels unlike the rest of their 2 x 2 block";
    drag_fast_and_slow();
}

// Where the compositor draws no title bar (GNOME, or KWin without its decorations), SDL draws
// one through libdecor; forced here, on a compositor that would otherwise draw its own.
TEST_F(NativeWayland, DrawsItsOwnTitleBarWhoseCloseButtonEndsItWithStatusZero) {
    std::string plugins = "/usr/lib/" MULTIARCH "/libdecor/plugins-1";
    struct stat st;
    if (stat(plugins.c_str(), &st) != 0)
        GTEST_SKIP() << "no libdecor plugin in " << plugins << ": nothing could draw a title bar";
    ASSERT_TRUE(start({{"SDL_VIDEO_WAYLAND_PREFER_LIBDECOR", "1"}, {"LIBDECOR_FORCE_CSD", "1"}}));
    EXPECT_GE(t.top, 20) << "no title bar above the scene";
    // The close button ends the bar. A plugin finds what is under the pointer as it moves.
    pointer_to(&c, window_w - t.top / 2 - 1, t.top / 2);
    pointer_to(&c, window_w - t.top / 2, t.top / 2);
    press_button(&c, 1, true);
    press_button(&c, 1, false);
    EXPECT_EQ(wait_child(&t.program, 10000), 0) << read_file(t.program.err_path);
}
