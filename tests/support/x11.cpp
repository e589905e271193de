#include "x11.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

static int now_ms() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

// Windows come and go while the toy starts; a request about one that just went is no reason
// to end the test, which is what Xlib's own handler would do.
static int ignore_error(Display*, XErrorEvent*) {
    return 0;
}

// Xvfb writes the display number it found to the pipe once it accepts connections.
bool xserver_start(xserver* x) {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    x->pid = fork();
    if (x->pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the test
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x800x24", "-nolisten",
               "tcp", "-ac", "-noreset", (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    char number[32] = {0};
    ssize_t got = 0;
    while (got < (ssize_t)sizeof number - 1) {
        ssize_t n = read(fds[0], number + got, sizeof number - 1 - got);
        if (n <= 0 || number[got + n - 1] == '\n') {
            got += n > 0 ? n : 0;
            break;
        }
        got += n;
    }
    close(fds[0]);
    if (got <= 0) {
        xserver_stop(x);
        return false;
    }
    x->display = ":" + std::to_string(atoi(number));
    x->dpy = XOpenDisplay(x->display.c_str());
    XSetErrorHandler(ignore_error);
    return x->dpy != nullptr;
}

void xserver_stop(xserver* x) {
    if (x->dpy)
        XCloseDisplay(x->dpy);
    x->dpy = nullptr;
    if (x->pid > 0) {
        kill(x->pid, SIGTERM);
        waitpid(x->pid, nullptr, 0);
    }
    x->pid = -1;
}

// Depth-first through the window tree; top is the root's child on the way down.
static bool search(Display* dpy, Window w, Window top, int want_w, int want_h, x_window* found) {
    XWindowAttributes a;
    if (XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable && a.width == want_w &&
        a.height == want_h) {
        Window child;
        found->top = top;
        XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 0, 0, &found->left, &found->top_y,
                              &child);
        return true;
    }
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &children, &count))
        return false;
    bool hit = false;
    for (unsigned i = 0; i < count && !hit; i++)
        hit = search(dpy, children[i], top ? top : children[i], want_w, want_h, found);
    if (children)
        XFree(children);
    return hit;
}

bool find_window(Display* dpy, int w, int h, int timeout_ms, x_window* found) {
    int deadline = now_ms() + timeout_ms;
    while (now_ms() < deadline) {
        if (search(dpy, DefaultRootWindow(dpy), 0, w, h, found))
            return true;
        usleep(10000);
    }
    return false;
}

std::string window_class(Display* dpy, unsigned long top) {
    XClassHint hint = {};
    if (!XGetClassHint(dpy, top, &hint))
        return "";
    std::string name = hint.res_class ? hint.res_class : "";
    XFree(hint.res_name);
    XFree(hint.res_class);
    return name;
}

void pointer_to(Display* dpy, int x, int y, bool wait) {
    XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
    if (wait)
        XSync(dpy, False);
    else
        XFlush(dpy);
}

void press_button(Display* dpy, unsigned button, bool down) {
    XTestFakeButtonEvent(dpy, button, down, CurrentTime);
    XSync(dpy, False);
}

std::vector<uint32_t> capture(Display* dpy, int x, int y, int w, int h) {
    std::vector<uint32_t> pixels((size_t)w * h);
    XImage* img = XGetImage(dpy, DefaultRootWindow(dpy), x, y, w, h, AllPlanes, ZPixmap);
    if (!img)
        return pixels;
    for (int row = 0; row < h; row++)
        for (int col = 0; col < w; col++)
            pixels[(size_t)row * w + col] = (uint32_t)XGetPixel(img, col, row) & 0xFFFFFF;
    XDestroyImage(img);
    return pixels;
}

unsigned long open_cover(Display* dpy, int x, int y, int w, int h, uint32_t rgb) {
    XSetWindowAttributes a = {};
    a.background_pixel = rgb;
    a.override_redirect = True; // placed exactly where asked, window manager or not
    Window cover = XCreateWindow(dpy, DefaultRootWindow(dpy), x, y, w, h, 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWBackPixel | CWOverrideRedirect, &a);
    show_window(dpy, cover, true);
    return cover;
}

void move_window(Display* dpy, unsigned long w, int x, int y) {
    XMoveWindow(dpy, w, x, y);
    XSync(dpy, False);
}

void show_window(Display* dpy, unsigned long w, bool shown) {
    if (shown)
        XMapRaised(dpy, w);
    else
        XUnmapWindow(dpy, w);
    XSync(dpy, False);
}

void ask_to_close(Display* dpy, unsigned long top) {
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = top;
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, top, False, NoEventMask, &e);
    XSync(dpy, False);
}
