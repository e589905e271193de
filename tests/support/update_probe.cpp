// Preloaded into the toy by tests and benchmarks. It makes every window update take
// DRESSUP_SLOW_UPDATE_MS milliseconds longer, as on a display without a GPU, where one costs
// 4 to 28 ms; and it writes when each update started (CLOCK_MONOTONIC) and how long it took, in
// milliseconds, a line each, to the file DRESSUP_UPDATE_LOG names.
#include <SDL.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

static double now_ms() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

extern "C" void SDL_UpdateRect(SDL_Surface* screen, Sint32 x, Sint32 y, Uint32 w, Uint32 h) {
    typedef void update(SDL_Surface*, Sint32, Sint32, Uint32, Uint32);
    static update* real = (update*)dlsym(RTLD_NEXT, "SDL_UpdateRect");
    static const char* slower = getenv("DRESSUP_SLOW_UPDATE_MS");
    static FILE* log =
        getenv("DRESSUP_UPDATE_LOG") ? fopen(getenv("DRESSUP_UPDATE_LOG"), "w") : nullptr;
    double start = now_ms();
    real(screen, x, y, w, h);
    struct timespec longer = {0, (slower ? atol(slower) : 0) * 1000000L};
    nanosleep(&longer, nullptr);
    if (log) {
        fprintf(log, "%.3f %.3f\n", start, now_ms() - start);
        fflush(log);
    }
}
