// A private Wayland compositor for end-to-end tests: headless sway with no X server, and
// grim to read its screen back.
#pragma once

#include "process.h"

#include <cstdint>
#include <string>
#include <vector>

struct wl_display;
struct wl_proxy;

struct compositor {
    int scale; // its output's, set before it starts; 0 for none
    child sway;
    std::string runtime_dir; // XDG_RUNTIME_DIR, which holds its sockets
    std::string display;     // WAYLAND_DISPLAY
    std::string ipc;         // SWAYSOCK, for swaymsg
    wl_display* client;      // the tests' own connection, for their pointer
    wl_proxy* pointer;
};

// Why no compositor can be started here (sway or grim missing), or "" when one can.
std::string compositor_missing();

// Starts it with one output of 1280 x 800 in the desktop's units, scaled by c->scale. The toy's
// window floats at (0, 0), borderless.
bool compositor_start(compositor* c, std::string* why);
void compositor_stop(compositor* c);

// What a client started against it needs in its environment.
env_list compositor_env(const compositor* c);

// A sway command, as swaymsg takes it; its exit status.
int compositor_command(const compositor* c, const std::string& command);

// A mouse on the compositor's seat, through wlroots' virtual pointer protocol: the headless
// compositor has no input device of its own. Positions are on the output, in the desktop's
// units; buttons as in X (1 left, 2 middle, 3 right). It starts at (x, y). A motion not waited
// for is only sent, not known to have reached the compositor.
bool pointer_add(compositor* c, int x, int y, std::string* why);
void pointer_to(compositor* c, int x, int y, bool wait = true);
void press_button(compositor* c, unsigned button, bool down);

// w x h of the output from (x, y), in the desktop's units, as pixels 0x00RRGGBB, row by row:
// scale times as many each way on a scaled output. Empty if grim fails.
std::vector<uint32_t> screenshot(const compositor* c, int x, int y, int w, int h);
