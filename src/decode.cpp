// The toy's side of decoding on the desktop: it opens each picture file, starts a helper on it,
// waits for the helpers side by side, and takes in what they describe, checked again, drawn from
// their memory files with no copy.
#include "decode.h"

#include "helper.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

const off_t largest_file = 256 << 20;
// A helper is judged by the processor time it has taken, not by the clock: time spent waiting
// for other programs is not the decoder's fault, so a picture gets the same answer on a busy
// machine as on an idle one. The clock only ends a helper that waits without working.
const long decode_cpu_ms = 2700;
const long decode_wall_ms = 20000;
const int poll_ms = 20; // how long a stop signal may wait to be seen

// One picture's helper, from its start until its picture is in or refused.
struct helper_watch {
    pid_t helper;            // 0 once it is over
    int from_helper;         // the pipe its picture's description comes back through
    int pixels;              // a memory file its picture's rows come back in
    struct timespec started; // its waiting limit runs from here
    clockid_t work;          // the processor time it has taken
    SDL_Surface* picture;    // once over: the picture as decoded, or null when it was refused
};

struct decoding {
    std::vector<helper_watch> helpers; // one a picture, in the order named
};

static void start_helper(helper_watch* d, const char* path) {
    *d = {0, -1, -1, {}, 0, nullptr};
    clock_gettime(CLOCK_MONOTONIC, &d->started);
    helper_prepare();
    // Opened once, here: the helper decodes what this open found, even if the name is given to
    // another file meanwhile. Opening a FIFO does not block, and it is never read.
    int file = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    int ends[2];
    if (file < 0)
        return;
    if (fstat(file, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0 ||
        st.st_size > largest_file || pipe2(ends, O_CLOEXEC) != 0) {
        close(file);
        return;
    }
    fcntl(ends[0], F_SETFL, O_NONBLOCK); // a helper that stops sending cannot hold the toy
    int pixels = memfd_create("dressup-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    const char* type = strrchr(path, '.');
    pid_t toy = getpid();
    fflush(stdout); // a decoder that calls exit() would write the helper's copy of the buffers
    fflush(stderr);
    pid_t child = pixels < 0 ? -1 : fork();
    if (child == 0)
        helper_run(file, st.st_size, type ? type + 1 : nullptr, ends[1], pixels, toy);
    close(file);
    close(ends[1]);
    if (child < 0) {
        // No process or memory file to spare: no decoding, and the picture is refused.
        close(ends[0]);
        if (pixels >= 0)
            close(pixels);
        return;
    }
    d->helper = child;
    if (clock_getcpuclockid(child, &d->work) != 0)
        d->work = -1; // then the clock alone limits it, as RLIMIT_CPU does from inside
    d->from_helper = ends[0];
    d->pixels = pixels;
}

decoding* decode_start(const char* const* paths, int count) {
    decoding* d = new decoding;
    d->helpers.resize((size_t)count);
    for (int i = 0; i < count; i++)
        start_helper(&d->helpers[i], paths[i]);
    return d;
}

static long ms_since(clockid_t clock, const struct timespec& from) {
    struct timespec now;
    if (clock_gettime(clock, &now) != 0)
        return 0;
    return (now.tv_sec - from.tv_sec) * 1000 + (now.tv_nsec - from.tv_nsec) / 1000000;
}

// Until the helper has worked, or waited, too long.
static long ms_left(const helper_watch* d) {
    long worked = d->work == -1 ? 0 : ms_since(d->work, {0, 0});
    return std::min(decode_cpu_ms - worked, decode_wall_ms - ms_since(CLOCK_MONOTONIC, d->started));
}

// Some of n bytes from the helper, once it has sent any: what it has sent already, and what it
// sends before its deadline. Nothing (0) past that, or once a stop is asked for.
static ssize_t receive_some(const helper_watch* d, char* into, size_t n, bool (*stopping)()) {
    for (;;) {
        if (stopping && stopping())
            return 0;
        long left = ms_left(d);
        struct pollfd ready = {d->from_helper, POLLIN, 0};
        if (poll(&ready, 1, (int)std::clamp(left, 0L, (long)poll_ms)) > 0)
            return read(d->from_helper, into, n);
        if (left <= 0)
            return 0;
    }
}

static bool receive_bytes(const helper_watch* d, void* into, size_t n, bool (*stopping)()) {
    char* p = (char*)into;
    return move_all(n, [&](size_t got) { return receive_some(d, p + got, n - got, stopping); });
}

// What the helper says of its picture, once its rows are in the memory file.
struct description {
    picture_header h;
    SDL_Color colours[256];
};

static bool receive_description(const helper_watch* d, description* got, bool (*stopping)()) {
    return receive_bytes(d, &got->h, sizeof got->h, stopping) && placeable(got->h.shape) &&
           receive_bytes(d, got->colours, got->h.shape.colours * sizeof(SDL_Color), stopping);
}

// The decoded colours, then black for every index that the picture's own palette does not
// reach: SDL maps a palette by its length, and a pixel beyond it would be looked up past the
// end of the library's table.
static bool set_palette(SDL_Surface* s, const description& got) {
    SDL_Palette* palette = s->format->palette;
    int given = got.h.shape.colours;
    if (!palette)
        return given == 0;
    if (palette->ncolors > 256 || given > palette->ncolors)
        return false;
    SDL_Color colours[256] = {};
    memcpy(colours, got.colours, given * sizeof(SDL_Color));
    SDL_SetColors(s, colours, 0, palette->ncolors);
    return true;
}

// The rows the helper left in the memory file, mapped as they are: the picture is drawn from
// them, with no copy. Called once the helper has gone; sealed first, so that nothing it may
// have left behind can change them or cut the file short under the toy.
static SDL_Surface* map_picture(int pixels, const description& got) {
    const picture_header& h = got.h;
    const picture_shape& shape = h.shape;
    size_t bytes = (size_t)shape.pitch * (size_t)shape.h;
    struct stat st;
    int seals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;
    if (fcntl(pixels, F_ADD_SEALS, seals) != 0 || fstat(pixels, &st) != 0 ||
        (size_t)st.st_size < bytes)
        return nullptr;
    void* rows = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE, pixels, 0);
    if (rows == MAP_FAILED)
        return nullptr;
    SDL_Surface* s = SDL_CreateRGBSurfaceFrom(rows, shape.w, shape.h, shape.bits, shape.pitch,
                                              h.masks[0], h.masks[1], h.masks[2], h.masks[3]);
    if (!s || s->format->BitsPerPixel != shape.bits || !set_palette(s, got)) {
        SDL_FreeSurface(s);
        munmap(rows, bytes);
        return nullptr;
    }
    if (h.flags & SDL_SRCCOLORKEY)
        SDL_SetColorKey(s, SDL_SRCCOLORKEY, h.colorkey);
    SDL_SetAlpha(s, h.flags & SDL_SRCALPHA, (Uint8)h.alpha);
    return s;
}

// Only decoded pictures are made on rows the library does not own.
void decode_release(SDL_Surface* picture) {
    if (!picture)
        return;
    void* rows = picture->pixels;
    size_t bytes = (size_t)picture->pitch * (size_t)picture->h;
    bool mapped = picture->flags & SDL_PREALLOC;
    SDL_FreeSurface(picture);
    if (mapped)
        munmap(rows, bytes);
}

static void stop_helper(helper_watch* d) {
    if (d->helper > 0) {
        kill(d->helper, SIGKILL);
        waitpid(d->helper, nullptr, 0);
    }
    d->helper = 0;
}

// Stops the helper, if it still runs, and closes what it handed its picture back through.
static void end_helper(helper_watch* d) {
    stop_helper(d);
    close(d->from_helper);
    close(d->pixels);
    d->from_helper = -1;
    d->pixels = -1;
}

static void abandon(decoding* all) {
    for (helper_watch& d : all->helpers) {
        if (d.helper != 0)
            end_helper(&d);
        decode_release(d.picture);
    }
    delete all;
}

// Once the helper has described its picture, it has nothing more to do: it is ended before its
// rows are taken, so that it cannot change them under the toy.
static void take_picture(helper_watch* d, bool (*stopping)()) {
    description got;
    bool described = receive_description(d, &got, stopping);
    stop_helper(d);
    if (described)
        d->picture = map_picture(d->pixels, got);
}

// Every picture in, or refused.
static void hand_over(decoding* all, SDL_Surface** pictures) {
    for (size_t i = 0; i < all->helpers.size(); i++)
        pictures[i] = all->helpers[i].picture;
    delete all;
}

bool decode_finish(decoding* all, SDL_Surface** pictures, bool (*stopping)()) {
    std::vector<pollfd> ready;
    std::vector<helper_watch*> waiting;
    for (;;) {
        if (stopping && stopping()) {
            abandon(all);
            return false;
        }
        ready.clear();
        waiting.clear();
        long wait = poll_ms;
        for (helper_watch& d : all->helpers) {
            if (d.helper == 0)
                continue;
            ready.push_back({d.from_helper, POLLIN, 0});
            waiting.push_back(&d);
            wait = std::clamp(ms_left(&d), 0L, wait);
        }
        if (waiting.empty()) {
            hand_over(all, pictures);
            return true;
        }
        poll(ready.data(), ready.size(), (int)wait);
        // What a helper has sent is taken even past its deadline: a window slow to open does
        // not make a picture late. One that has sent nothing by then is refused.
        for (size_t i = 0; i < ready.size(); i++) {
            if (ready[i].revents)
                take_picture(waiting[i], stopping);
            if (ready[i].revents || ms_left(waiting[i]) <= 0)
                end_helper(waiting[i]);
        }
    }
}
