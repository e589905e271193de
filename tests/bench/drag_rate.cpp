// How fast a mouse the toy keeps up with: 600 one-pixel drag motions through XTest at a set
// pace, then where the dragged picture ended. Any motion the toy lost leaves it short.
#include "e2e/toy.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

const int motions = 600;
const int paces[] = {125, 500, 1000, 2000};
const int row = 20; // inside the trousers' top band
enum { pant = 1 };

static void add_ns(struct timespec* t, long ns) {
    t->tv_nsec += ns;
    t->tv_sec += t->tv_nsec / 1000000000;
    t->tv_nsec %= 1000000000;
}

// The trousers' left edge on the row, once the window has stopped changing.
static int settled_left_edge(toy* t) {
    std::vector<uint32_t> last, now;
    for (int tries = 0; tries < 100; tries++) {
        usleep(100000);
        now = capture(t->x.dpy, t->window.left, t->window.top_y, 1024, 512);
        if (now == last)
            break;
        last = now;
    }
    for (int x = 0; x < 1024; x++)
        if (now[row * 1024 + x] == t->scene[pant].picture->top)
            return x;
    return -1;
}

// Motions applied out of 600, at the given pace.
static int applied_at(int pace) {
    std::vector<test_picture> pictures = standard_pictures();
    toy t = {};
    std::string why;
    if (!toy_start(&t, pictures, &why)) {
        fprintf(stderr, "drag_rate: %s\n", why.c_str());
        toy_stop(&t);
        return -1;
    }
    int x = 790; // near the right edge of the trousers, which then go left
    toy_move(&t, x, 60);
    toy_button(&t, 1, true);
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (int i = 0; i < motions; i++) {
        add_ns(&next, 1000000000L / pace);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        XTestFakeMotionEvent(t.x.dpy, -1, t.window.left + --x, t.window.top_y + 60, CurrentTime);
        XFlush(t.x.dpy);
    }
    toy_button(&t, 1, false);
    int left = settled_left_edge(&t);
    toy_stop(&t);
    return left < 0 ? 0 : t.scene[pant].x - left;
}

int main() {
    std::string missing;
    const char* name = requested_sdl(&missing).empty() ? "system SDL 1.2" : "sdl12-compat";
    int best = 0; // the highest pace at which, as at every slower one, nothing was lost
    bool none_lost = true;
    std::string detail;
    for (int pace : paces) {
        int applied = applied_at(pace);
        if (applied < 0)
            return 1;
        detail += " " + std::to_string(pace) + "/s: " + std::to_string(applied) + ";";
        none_lost = none_lost && applied == motions;
        if (none_lost)
            best = pace;
    }
    printf("drag rate on %s: every motion applied up to %d/s (applied of %d:%s)\n", name, best,
           motions, detail.c_str());
    return 0;
}
