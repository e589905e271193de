#include "wait.h"

#include <SDL_syswm.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

// During a drag the classic library's X11 reader takes everything pending into its 128-event
// queue at once and drops the rest, so the loop looks often: 1 ms is 8 motions of the fastest
// mouse. Where the display's connection is unknown (Wayland), a rest is 10 ms naps, as
// SDL_WaitEvent's own.
const Uint32 drag_nap_ms = 1;
const Uint32 rest_nap_ms = 10;

static volatile sig_atomic_t stop_signal = 0;
static int stop_pipe[2] = {-1, -1}; // wakes a loop that waits for the display

static void on_stop_signal(int) {
    stop_signal = 1;
    if (stop_pipe[1] >= 0) {
        ssize_t ignored = write(stop_pipe[1], "", 1);
        (void)ignored; // full already: the loop wakes anyway
    }
}

void catch_stop_signals() {
    if (pipe2(stop_pipe, O_NONBLOCK | O_CLOEXEC) != 0)
        stop_pipe[0] = stop_pipe[1] = -1;
    signal(SIGINT, on_stop_signal);
    signal(SIGTERM, on_stop_signal); // the library leaves a handler that is already there
}

bool stop_requested() {
    return stop_signal != 0;
}

void forward_stop_signal() {
    if (!stop_signal)
        return;
    stop_signal = 0;
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
}

// The X11 connection the library reads its events from, or -1 where it is not X11.
static int display_connection() {
    static int fd = -2;
    if (fd != -2)
        return fd;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    fd = SDL_GetWMInfo(&info) > 0 && info.subsystem == SDL_SYSWM_X11
             ? ConnectionNumber(info.info.x11.display)
             : -1;
    return fd;
}

void wait_for_events(Uint32 most_ms, bool dragging) {
    int display = display_connection();
    if (dragging || display < 0) {
        SDL_Delay(std::min(most_ms, dragging ? drag_nap_ms : rest_nap_ms));
        return;
    }
    // The library has just emptied the connection into its queue, so anything new wakes it.
    struct pollfd wake[2] = {{display, POLLIN, 0}, {stop_pipe[0], POLLIN, 0}};
    poll(wake, stop_pipe[0] >= 0 ? 2 : 1, (int)most_ms);
    char drained[8];
    while (stop_pipe[0] >= 0 && read(stop_pipe[0], drained, sizeof drained) > 0)
        continue;
}
