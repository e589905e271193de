// Makes the README's screenshot: the toy with the bundled pictures in a private X server,
// every piece of clothing dragged onto the figure.
#include "support/pictures.h"
#include "support/process.h"
#include "support/x11.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

static x_window window;

static void move(Display* dpy, int x, int y) {
    pointer_to(dpy, window.left + x, window.top_y + y);
    usleep(4000); // a repaint takes a few milliseconds; never let the event queue overflow
}

// Grabs at (x, y) and walks the pointer through the corners in small steps. The routes keep
// the pointer off every other piece, which it would otherwise take along.
static void drag(Display* dpy, int x, int y, std::initializer_list<std::pair<int, int>> route) {
    move(dpy, x, y);
    press_button(dpy, 1, true);
    for (auto [to_x, to_y] : route) {
        while (x != to_x || y != to_y) {
            x += std::max(-8, std::min(8, to_x - x));
            y += std::max(-8, std::min(8, to_y - y));
            move(dpy, x, y);
        }
    }
    press_button(dpy, 1, false);
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s DRESSUP PICTURE-FOLDER OUT.png\n", argv[0]);
        return 2;
    }
    xserver x = {};
    if (!xserver_start(&x)) {
        fprintf(stderr, "screenshot: cannot start Xvfb\n");
        return 1;
    }
    child toy =
        start_program({argv[1]}, argv[2], {{"DISPLAY", x.display}, {"WAYLAND_DISPLAY", ""}});
    int status = 1;
    if (find_window(x.dpy, 1024, 512, 10000, &window)) {
        usleep(500000);
        drag(x.dpy, 713, 94, {{210, 94}, {210, 390}});             // trousers
        drag(x.dpy, 737, 170, {{737, 472}, {210, 472}});           // shoes
        drag(x.dpy, 856, 192, {{856, 60}, {210, 60}, {210, 274}}); // T-shirt
        drag(x.dpy, 600, 150, {{203, 150}, {203, 118}});           // hat and scarf
        move(x.dpy, 1000, 20);
        usleep(500000);
        std::vector<uint32_t> frame = capture(x.dpy, window.left, window.top_y, 1024, 512);
        status = write_png(argv[3], 1024, 512, frame, png_rgb) ? 0 : 1;
    } else {
        fprintf(stderr, "screenshot: the toy's window did not appear\n");
    }
    kill(toy.pid, SIGTERM);
    wait_child(&toy, 5000);
    unlink(toy.out_path.c_str()); // its logs sit in the picture folder, which is the repository's
    unlink(toy.err_path.c_str());
    xserver_stop(&x);
    return status;
}
