// The built toy in its own X server, with pictures the test makes, and the frame it should show.
#pragma once

#include "support/pictures.h"
#include "support/process.h"
#include "support/wayland.h"
#include "support/x11.h"

#include <cstdint>
#include <string>
#include <vector>

const int window_w = 1024;
const int window_h = 512;

// A test picture: a band of colour across the top quarter, and the rest split into a left and a
// right half, so a picture drawn from the wrong corner or clipped on the wrong side shows.
struct test_picture {
    const char* file;
    int w, h;
    uint32_t top, left, right; // 0xRRGGBB
    uint8_t alpha;             // of every pixel
    png_form form;
    bool missing;                          // not written, or not expected to show
    bool (*make)(const std::string& path); // writes an odd file instead of the usual picture
    int slack;                             // how far its pixels may stray, when more than 2
};

struct placed {
    const test_picture* picture;
    int x, y;
};

struct toy {
    xserver x;
    compositor* wayland; // the compositor it runs on instead of an X server
    int top;             // there, the output's row where the scene starts: below any title bar
    child program;
    std::string dir;
    x_window window;
    std::vector<placed> scene; // what the window should show: the figure, then the clothes
    bool unprivileged;         // run the toy as nobody when the tests run as root
    struct {
        int x, y, w, h;
    } covered;                // under another window, so not compared
    int pointer_x, pointer_y; // where toy_move left it; a compositor draws its cursor there
};

enum { figure, pant, sabates, camiseta, bufanda }; // the pictures, in drawing order

// The five files: figure, trousers, shoes, T-shirt, hat and scarf.
std::vector<test_picture> standard_pictures();

// The sdl12-compat folder the tests were asked to run on (DRESSUP_SDL_PATH), or "" for the
// system's SDL 1.2. *missing says why that cannot be done here, if it cannot.
std::string requested_sdl(std::string* missing);

// Whether the toy runs on sdl12-compat rather than the classic SDL 1.2.
bool on_sdl12_compat();

// Starts an X server and the toy in a folder holding the given pictures (figure first), with
// env added to ours, and waits for its first frame. Runs on the SDL found through
// DRESSUP_SDL_PATH, if set. False, with the reason, when it does not come up showing that frame.
bool toy_start(toy* t, const std::vector<test_picture>& pictures, std::string* why,
               const env_list& env = {});

// The same on a headless Wayland compositor, started here, with env added to ours: its pointer
// waits outside the window, and t->top is found from the first frame.
bool toy_start_wayland(toy* t, compositor* c, const std::vector<test_picture>& pictures,
                       const env_list& env, std::string* why);

// The two halves of toy_start: the folder of pictures and the expected scene; then the toy
// itself, with env added to ours, on the requested SDL. The toy is the one built, or the program
// DRESSUP_TOY names (an earlier build, for a benchmark's figures before a change).
bool toy_prepare(toy* t, const std::vector<test_picture>& pictures, std::string* why);
bool toy_launch(toy* t, env_list env, std::string* why);

// Ends the toy if it still runs, and its X server.
void toy_stop(toy* t);

// Pointer and buttons, in window coordinates, on whichever display the toy runs. A motion that
// is not waited for is only sent: a mouse does not wait for the window either.
void toy_move(toy* t, int x, int y, bool wait = true);
void toy_button(toy* t, unsigned button, bool down);

// Waits until the window shows t->scene; false, saying where and what differs, if it does not
// within a few seconds.
bool wait_for_scene(toy* t, std::string* why);

// The window's pixels now, row by row; on a scaled output, one for each block of pixels.
std::vector<uint32_t> window_pixels(const toy* t);

// A fast mouse's drag: pressed in the middle of the trousers, motions one pixel at a time at
// pace a second, to the left, or with a leg, leg pixels to the left and five fewer back,
// over and over; the release, then motions across the shoes with no button held, which must move
// nothing. t->scene is then what the window must show. Returns when the first and the last
// drag motion were sent, in milliseconds of CLOCK_MONOTONIC.
struct drag_span {
    double first_ms, last_ms;
};
drag_span fast_drag(toy* t, int motions, int pace, int leg = 0);

// Now, in milliseconds of CLOCK_MONOTONIC, the clock the update probe writes.
double monotonic_ms();

// The share of one processor the toy took over the next ms milliseconds.
double processor_share(const toy* t, int ms);

// What to add to the toy's environment so that a preloaded library makes each of its window
// updates ms milliseconds slower, as on a display without a GPU, and writes how long each took
// to the file log, when there is one.
env_list probe_updates(int ms, const std::string& log = "");

// The toy's own record of what it printed.
std::string toy_output(const toy* t);

// The first column on the row where the frame shows rgb, or -1.
int first_column(const std::vector<uint32_t>& frame, int row, uint32_t rgb);
