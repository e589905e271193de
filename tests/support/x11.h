// A private X server for end-to-end tests: start it, find the toy's window, drive the
// pointer with XTest and read the screen back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Xlib stays out of this header: its macros clash with GoogleTest's.
typedef struct _XDisplay Display;

struct xserver {
    pid_t pid;
    std::string display; // ":N"
    Display* dpy;
};

// Starts Xvfb on a free display with a 1280 x 800, 24-bit screen.
bool xserver_start(xserver* x);
void xserver_stop(xserver* x);

struct x_window {
    unsigned long top; // the child of the root: what a window manager would talk to
    int left;          // where the w x h content lies on the root window
    int top_y;
};

// Waits for a viewable window of exactly w x h.
bool find_window(Display* dpy, int w, int h, int timeout_ms, x_window* found);

// The class in its WM_CLASS, by which desktops match a window to its menu entry.
std::string window_class(Display* dpy, unsigned long top);

// Pointer and buttons as a user's mouse would give them; x and y on the root window. A motion
// not waited for is only sent, not known to have reached the server.
void pointer_to(Display* dpy, int x, int y, bool wait = true);
void press_button(Display* dpy, unsigned button, bool down);

// w x h pixels of the root window from (x, y), as 0x00RRGGBB, row by row.
std::vector<uint32_t> capture(Display* dpy, int x, int y, int w, int h);

// Another program's window: opaque, of one colour (0xRRGGBB), over what lies at (x, y) on the
// root window.
unsigned long open_cover(Display* dpy, int x, int y, int w, int h, uint32_t rgb);
void move_window(Display* dpy, unsigned long w, int x, int y);

// Maps or unmaps a window, as restoring and minimising do.
void show_window(Display* dpy, unsigned long w, bool shown);

// What a window manager sends when the user clicks the close button.
void ask_to_close(Display* dpy, unsigned long top);
