// The toy in a real X server: real pointer events in, whole frames out.
#include "toy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <signal.h>
#include <unistd.h>
// After GoogleTest, whose names Xlib's macros (None, Bool) would take.
#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

const unsigned left_button = 1, middle_button = 2, right_button = 3, wheel_up = 4;

struct ToyWindow : testing::Test {
    toy t = {};
    std::vector<test_picture> pictures = standard_pictures();

    void SetUp() override {
        std::string missing;
        requested_sdl(&missing);
        if (!missing.empty())
            GTEST_SKIP() << missing;
    }
    void TearDown() override { toy_stop(&t); }

    bool start(const env_list& env = {}) {
        std::string why;
        bool up = toy_start(&t, pictures, &why, env);
        EXPECT_TRUE(up) << why;
        return up;
    }

    // Presses where the pointer is put, as a user does: move there first, then press.
    void press_at(int x, int y, unsigned button = left_button) {
        toy_move(&t, x, y);
        toy_button(&t, button, true);
    }

    // One motion; the pictures listed move with it, and the frame must show that.
    void step(int x, int y, std::initializer_list<int> moved, int dx, int dy) {
        if (HasFailure())
            return; // one wrong frame is enough; the rest would only wait
        toy_move(&t, x, y);
        for (int i : moved) {
            t.scene[i].x += dx;
            t.scene[i].y += dy;
        }
        expect_scene("after the motion to (" + std::to_string(x) + ", " + std::to_string(y) + ")");
    }

    void expect_scene(const std::string& when) {
        std::string why;
        EXPECT_TRUE(wait_for_scene(&t, &why)) << when << ": " << why;
    }
};

TEST_F(ToyWindow, FirstFrameRestAndNothingWithoutAButton) {
    ASSERT_TRUE(start()); // every pixel of the first frame is checked here
    EXPECT_EQ(toy_output(&t), "");
    // With nothing happening it waits rather than spins: on a laptop, its fan and battery.
    EXPECT_LT(processor_share(&t, 2000), 0.05) << "of a core, at rest";
    for (int i = 0; i < 10; i++)
        toy_move(&t, 700 + 3 * i, 40 + 2 * i); // across the trousers, no button held
    // The next drag shows whether those motions did anything.
    press_at(727, 60);
    step(728, 61, {pant}, 1, 1);
}

TEST_F(ToyWindow, GrabbedPictureFollowsAndAFastMotionLeavesItBehind) {
    ASSERT_TRUE(start());
    press_at(640, 150); // near the right edge, so it can be dragged far to the left
    int x = 640, y = 150;
    for (int i = 0; i < 5; i++)
        step(x += 3, y += 2, {bufanda}, 3, 2);
    for (int i = 0; i < 20; i++)
        step(x -= 20, y += 1, {bufanda}, -20, 1);
    toy_button(&t, left_button, false);

    // A motion that carries the pointer past the far edge leaves the picture where it stood.
    press_at(687, 28);
    step(802, 28, {}, 0, 0);
    step(796, 28, {pant}, -6, 0); // back inside from the right: pushed the other way
}

TEST_F(ToyWindow, PointerPushesAPictureItReachesFromOutside) {
    ASSERT_TRUE(start());
    press_at(670, 50);
    step(675, 50, {}, 0, 0);
    step(680, 50, {pant}, 5, 0);
    step(685, 50, {pant}, 5, 0);
    step(686, 50, {}, 0, 0);
    step(687, 50, {}, 0, 0); // on its left edge
    for (int x = 688; x < 700; x++)
        step(x, 50, {pant}, 1, 0); // pushed, the pointer left on its edge each time
}

TEST_F(ToyWindow, EdgesOfAPictureAreOutsideIt) {
    ASSERT_TRUE(start()); // the hat and scarf: (549, 136), 100 x 100
    press_at(540, 180);
    step(549, 180, {}, 0, 0); // on the left edge column
    step(550, 180, {bufanda}, 1, 0);
    toy_button(&t, left_button, false);

    press_at(660, 180);
    step(650, 180, {}, 0, 0); // the column just past the right edge: x + w
    step(649, 180, {bufanda}, -1, 0);
    toy_button(&t, left_button, false);

    press_at(600, 120);
    step(600, 136, {}, 0, 0); // the top row
    step(600, 137, {bufanda}, 0, 1);
    toy_button(&t, left_button, false);

    press_at(600, 250);
    step(600, 237, {}, 0, 0); // the row just past the bottom: y + h
    step(600, 236, {bufanda}, 0, -1);
}

// A mouse faster than the window updates: every motion counts, the release holds, and the
// window ends on the newest scene.
TEST_F(ToyWindow, KeepsUpWithADragFasterThanTheWindowUpdates) {
    ASSERT_TRUE(start(probe_updates(20))); // as without a GPU: five motions arrive during one
    fast_drag(&t, 400, 250);
    expect_scene("after 400 motions at 250 a second, the release and 40 more");
}

// A drag held for seconds, to and fro; the classic library painting every motion fell behind
// at this pace. The sanitizers slow the toy down, so their build is driven at half of it.
TEST_F(ToyWindow, HoldsALongFastDragToAndFro) {
#ifdef DRESSUP_SANITIZED
    const int pace = 2000;
#else
    const int pace = 4000;
#endif
    ASSERT_TRUE(start());
    fast_drag(&t, 2 * pace, pace, 100);
    expect_scene("after two seconds of motions at " + std::to_string(pace) +
                 " a second, the release and 40 more");
}

TEST_F(ToyWindow, OverlappingClothesMoveTogetherInTheirOrder) {
    pictures[camiseta].alpha = 160; // see-through, so what lies under it must be right too
    pictures[camiseta].form = png_rgba;
    ASSERT_TRUE(start());
    press_at(795, 180); // inside both the shoes and the T-shirt
    int x = 795, y = 180;
    for (int i = 0; i < 12; i++)
        step(x -= 5, y += 2, {sabates, camiseta}, -5, 2);
}

TEST_F(ToyWindow, ReleasingEitherOfTwoButtonsOrAWheelStepEndsTheDrag) {
    ASSERT_TRUE(start());
    press_at(700, 50);
    toy_button(&t, right_button, true);
    step(702, 50, {pant}, 2, 0);
    toy_button(&t, right_button, false);
    toy_move(&t, 704, 50); // the left button is still down, but the drag is over
    toy_button(&t, left_button, false);
    press_at(705, 50);
    step(706, 50, {pant}, 1, 0);

    toy_button(&t, wheel_up, true);
    toy_button(&t, wheel_up, false);
    toy_move(&t, 709, 52);
    toy_button(&t, left_button, false);
    press_at(710, 52);
    step(711, 53, {pant}, 1, 1);
}

// The X server's Mouse Keys, as a desktop's accessibility settings turn them on (X11's
// Shift+NumLock): the keypad moves the pointer a pixel a press, 0 holds the button, . lets go.
static bool mouse_keys_on(Display* dpy) {
    XkbDescPtr keyboard = XkbGetMap(dpy, 0, XkbUseCoreKbd);
    if (!keyboard || XkbGetControls(dpy, XkbAllControlsMask, keyboard) != Success)
        return false;
    keyboard->ctrls->enabled_ctrls |= XkbMouseKeysMask;
    keyboard->ctrls->enabled_ctrls &= ~XkbMouseKeysAccelMask; // every press one pixel
    bool set = XkbSetControls(dpy, XkbControlsEnabledMask, keyboard);
    XkbFreeKeyboard(keyboard, 0, True);
    XSync(dpy, False);
    return set;
}

// A millisecond apart, as fast as a 1000 Hz mouse; Mouse Keys itself repeats 25 times a second.
static void keypad(Display* dpy, KeySym key, int presses) {
    KeyCode code = XKeysymToKeycode(dpy, key);
    for (int i = 0; i < presses; i++) {
        XTestFakeKeyEvent(dpy, code, True, 0);
        XTestFakeKeyEvent(dpy, code, False, 0);
        XSync(dpy, False);
        usleep(1000);
    }
}

// Where the X server has the pointer, in the window, and whether the first button is down.
static void expect_pointer(const toy& t, int x, int y, bool held, const char* when) {
    Window root, child;
    int rx, ry, wx, wy;
    unsigned mask;
    XQueryPointer(t.x.dpy, DefaultRootWindow(t.x.dpy), &root, &child, &rx, &ry, &wx, &wy, &mask);
    EXPECT_EQ(rx - t.window.left, x) << when;
    EXPECT_EQ(ry - t.window.top_y, y) << when;
    EXPECT_EQ((mask & Button1Mask) != 0, held) << when;
}

// The T-shirt carried by presses of one keypad key, a pixel each along (dx, dy), in bursts
// that the toy must follow before the next.
static void carry(toy* t, KeySym key, int presses, int dx, int dy, const char* where) {
    for (int done = 0; done < presses;) {
        int burst = std::min(presses - done, 50);
        keypad(t->x.dpy, key, burst);
        done += burst;
        t->scene[camiseta].x += dx * burst;
        t->scene[camiseta].y += dy * burst;
        std::string why;
        ASSERT_TRUE(wait_for_scene(t, &why)) << "the T-shirt carried " << where << ": " << why;
    }
}

// A child who cannot hold a button plays with the keypad alone.
TEST_F(ToyWindow, MouseKeysAloneCarryTheTShirtOntoTheFigure) {
    ASSERT_TRUE(start());
    toy_move(&t, 900, 300); // where the pointer happens to be, on no piece
    ASSERT_TRUE(mouse_keys_on(t.x.dpy));
    Display* dpy = t.x.dpy;
    keypad(dpy, XK_KP_7, 50); // up and left, onto the T-shirt only
    keypad(dpy, XK_KP_8, 50);
    keypad(dpy, XK_KP_0, 1); // the button held
    expect_pointer(t, 850, 200, true, "on the T-shirt, the button held by the keypad");
    // Down, then left below every other piece, then onto the figure.
    carry(&t, XK_KP_2, 200, 0, 1, "down");
    carry(&t, XK_KP_4, 600, -1, 0, "left");
    carry(&t, XK_KP_7, 101, -1, -1, "up and left");
    carry(&t, XK_KP_8, 85, 0, -1, "up");
    expect_pointer(t, 149, 214, true, "on the figure, still held");
    keypad(dpy, XK_KP_Decimal, 1); // let go
    keypad(dpy, XK_KP_6, 5);       // and the T-shirt stays
    std::string why;
    EXPECT_TRUE(wait_for_scene(&t, &why)) << "the T-shirt at (85, 150) on the figure: " << why;
}

TEST_F(ToyWindow, RightOrMiddleButtonAloneDragsToo) {
    ASSERT_TRUE(start());
    press_at(700, 50, right_button);
    step(703, 52, {pant}, 3, 2);
    toy_button(&t, right_button, false);
    press_at(720, 180, middle_button); // the shoes
    step(716, 183, {sabates}, -4, 3);
}

TEST_F(ToyWindow, WhatAnotherWindowUncoversIsShownAgain) {
    ASSERT_TRUE(start());
    // A window passes over the toy from left to right, and goes away.
    const int w = 300, h = 200, y = 120, start = 160 - w, black = 0;
    unsigned long other =
        open_cover(t.x.dpy, t.window.left + start, t.window.top_y + y, w, h, black);
    ASSERT_EQ(capture(t.x.dpy, t.window.left + 10, t.window.top_y + y + 10, 1, 1)[0],
              (uint32_t)black)
        << "the other window does not cover the toy";
    for (int x = start; x < window_w && !HasFailure(); x += 110) {
        move_window(t.x.dpy, other, t.window.left + x, t.window.top_y + y);
        t.covered = {x, y, w, h};
        expect_scene("another window at (" + std::to_string(x) + ", " + std::to_string(y) + ")");
    }
    show_window(t.x.dpy, other, false);
    t.covered = {};
    expect_scene("once the other window went away");

    // Hidden and shown again, as minimising and restoring do.
    show_window(t.x.dpy, t.window.top, false);
    show_window(t.x.dpy, t.window.top, true);
    expect_scene("shown again");
    press_at(700, 50);
    step(701, 51, {pant}, 1, 1);
}

TEST_F(ToyWindow, PictureDraggedPartlyOutIsClippedAndCanBeTakenBack) {
    ASSERT_TRUE(start());
    press_at(639, 180); // near the right edge of the hat and scarf
    for (int x = 619; x >= 39; x -= 20)
        step(x, 180, {bufanda}, -20, 0);
    ASSERT_EQ(t.scene[bufanda].x, -51);
    toy_button(&t, left_button, false);

    press_at(20, 200); // on the part still showing
    for (int x = 40; x <= 140; x += 20)
        step(x, 200, {bufanda}, 20, 0);
}

TEST_F(ToyWindow, MissingPicturesAreReportedAndTheRestStillWork) {
    pictures[figure].missing = true;
    pictures[camiseta].missing = true;
    ASSERT_TRUE(start());
    EXPECT_EQ(toy_output(&t), "Malamente! No carga\nMalamente! No carga\n");
    press_at(795, 180); // where the T-shirt would lie over the shoes
    step(790, 185, {sabates}, -5, 5);
}

TEST_F(ToyWindow, ClosingTheWindowEndsWithStatusZero) {
    ASSERT_TRUE(start());
    ask_to_close(t.x.dpy, t.window.top);
    EXPECT_EQ(wait_child(&t.program, 10000), 0);
}

TEST_F(ToyWindow, TerminationEndsWithStatusZero) {
    ASSERT_TRUE(start());
    kill(t.program.pid, SIGTERM);
    EXPECT_EQ(wait_child(&t.program, 10000), 0);
}

// Which SDL 1.2 ran the toy, read from the libraries mapped into it, and that its window is
// matched to the menu entry.
TEST_F(ToyWindow, RunsOnTheIntendedSdlInAWindowNamedForItsEntry) {
    ASSERT_TRUE(start());
    EXPECT_EQ(window_class(t.x.dpy, t.window.top), "dressup");
    std::ifstream maps("/proc/" + std::to_string(t.program.pid) + "/maps");
    std::string line, sdl;
    bool on_sdl2 = false, on_sdl3 = false;
    while (std::getline(maps, line)) {
        on_sdl2 = on_sdl2 || line.find("libSDL2") != std::string::npos;
        on_sdl3 = on_sdl3 || line.find("libSDL3") != std::string::npos;
        if (line.find("libSDL-1.2") != std::string::npos)
            sdl = line.substr(line.find('/'));
    }
    std::string missing, wanted = requested_sdl(&missing);
    bool compat_wanted = !wanted.empty();
    const char* kind = on_sdl3   ? "sdl12-compat on sdl2-compat on SDL3"
                       : on_sdl2 ? "sdl12-compat on SDL2"
                                 : "classic SDL 1.2";
    printf("end-to-end tests run on %s: %s\n", kind, sdl.c_str());
    if (compat_wanted) {
        EXPECT_TRUE(on_sdl2 && sdl.rfind(wanted, 0) == 0) << "not sdl12-compat: " << sdl;
    }
}
