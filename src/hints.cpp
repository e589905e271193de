// The desktop's hints: the fast software path on sdl12-compat, a focusing press that counts,
// crisp scaling, and Wayland itself on a Wayland desktop. The classic library ignores them.
#include "hints.h"

#include <SDL.h>

#include <cstdlib>

// Sets an environment variable the user has not set; true if it did.
static bool suggest(const char* name, const char* value) {
    if (getenv(name))
        return false;
    setenv(name, value, 1);
    return true;
}

bool suggest_hints() {
    // On sdl12-compat every update goes through an SDL2 renderer, by default OpenGL; without a
    // GPU (software GL, or Xvfb) that costs milliseconds per frame, and a drag falls behind
    // the mouse. SDL2's software renderer on the X shared-memory framebuffer does what the
    // classic library does, several times faster.
    suggest("SDL_RENDER_DRIVER", "software");
    // SDL2 and SDL3 drop a press that comes within moments of the window taking the focus, so
    // the press that focuses it would start no drag. The classic library takes it, and so does
    // the toy: a child's first press on a piece carries it.
    suggest("SDL_MOUSE_FOCUS_CLICKTHROUGH", "1");
    bool no_emulation = suggest("SDL_FRAMEBUFFER_ACCELERATION", "0");
    // On a scaled Wayland output the window keeps its size in the desktop's units, as anywhere
    // else: sdl2-compat would otherwise map it to physical pixels, half its size at 2. And
    // sdl12-compat scales the surface up to it pixel for pixel, not blurred.
    suggest("SDL_VIDEO_WAYLAND_SCALE_TO_DISPLAY", "0");
    suggest("SDL12COMPAT_SCALE_METHOD", "nearest");
    // On a Wayland desktop, Wayland itself rather than X11 through Xwayland, whose windows most
    // compositors scale up blurred. sdl12-compat's numbers start at 50; the classic library
    // has no Wayland driver and takes one name only.
    if (getenv("WAYLAND_DISPLAY") && SDL_Linked_Version()->patch >= 50)
        suggest("SDL_VIDEODRIVER", "wayland,x11");
    return no_emulation;
}
