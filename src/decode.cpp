#include "decode.h"

#include <SDL_image.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

// What a helper may take. Every picture a person could mean fits: a 48-megapixel photo decodes
// in about a third of a second into 144 MB, 12000 x 12000 RGBA in under a second into 576 MB.
// A picture bomb (a small file declaring 16000 x 16000) fails at its first allocation instead.
const off_t largest_file = 256 << 20;
const rlim_t decoder_memory = 640 << 20; // the file's bytes and the decoding, together
const long decode_ms = 2700;             // from the start until the picture is in the toy
const rlim_t decode_cpu_seconds = 3;     // in case the toy stops watching
const int poll_ms = 20;                  // how long a stop signal may wait to be seen
const size_t write_bytes = 8 << 20;      // how much of the picture is handed back at a time
// SDL 1.2 places pictures with 16-bit coordinates and keeps a surface's pitch in 16 bits.
const int largest_side = 32767;
const int largest_pitch = 65535;
// Every read at the end of the data gives the decoder nothing, so one that keeps reading there
// is going round on stale bytes (a PNG cut after an ancillary chunk does, forever). Decoding a
// whole file, however odd, never needs this many.
const long most_reads_at_end = 100000;

// What comes down the pipe once the rows are in the memory file: the picture's size, pixel
// format, colour key and alpha settings, as decoded. Then the palette's colours.
struct picture_header {
    int32_t w, h, bits, pitch;
    uint32_t masks[4]; // red, green, blue, alpha
    uint32_t flags;    // SDL_SRCCOLORKEY and SDL_SRCALPHA, as decoded
    uint32_t colorkey;
    uint32_t alpha;
    int32_t colours;
};

static long row_bytes(const picture_header& h) {
    return h.bits < 8 ? ((long)h.w * h.bits + 7) / 8 : (long)h.w * ((h.bits + 7) / 8);
}

// A picture SDL 1.2 can hold and the toy can place. Checked on both sides: the helper has run
// the decoder, so what it says is no more trusted than the file.
static bool acceptable(const picture_header& h) {
    bool depth = false;
    for (int bits : {1, 2, 4, 8, 15, 16, 24, 32})
        depth = depth || h.bits == bits;
    return depth && h.w >= 1 && h.w <= largest_side && h.h >= 1 && h.h <= largest_side &&
           h.pitch >= row_bytes(h) && h.pitch <= largest_pitch &&
           (rlim_t)h.pitch * (rlim_t)h.h <= decoder_memory && h.colours >= 0 &&
           h.colours <= (h.bits <= 8 ? 1 << h.bits : 0);
}

// ---- In the helper ----

// The file's bytes, read once; the decoder reads them from memory.
struct bytes {
    const Uint8* data;
    int size;
    int at;
    long reads_at_end;
};

static int bytes_read(SDL_RWops* rw, void* into, int size, int count) {
    bytes* b = (bytes*)rw->hidden.unknown.data1;
    if (size <= 0 || count <= 0)
        return 0;
    if (b->at == b->size && ++b->reads_at_end > most_reads_at_end)
        _exit(2);
    int whole = std::min(count, (b->size - b->at) / size); // whole objects only, as SDL reads
    memcpy(into, b->data + b->at, (size_t)whole * size);
    b->at += whole * size;
    return whole;
}

static int bytes_seek(SDL_RWops* rw, int offset, int whence) {
    bytes* b = (bytes*)rw->hidden.unknown.data1;
    long from = whence == RW_SEEK_SET ? 0 : whence == RW_SEEK_CUR ? b->at : b->size;
    b->at = (int)std::clamp(from + offset, 0L, (long)b->size);
    return b->at;
}

static int bytes_write(SDL_RWops*, const void*, int, int) {
    return -1;
}

static int bytes_close(SDL_RWops* rw) {
    SDL_FreeRW(rw);
    return 0;
}

static void quiet(int fd) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0)
        dup2(null, fd);
}

static void limit(int resource, rlim_t most) {
    struct rlimit both = {most, most};
    setrlimit(resource, &both);
}

// The helper's address space so far; 0 when /proc cannot tell.
static rlim_t address_space() {
    unsigned long pages = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm) {
        if (fscanf(statm, "%lu", &pages) != 1)
            pages = 0;
        fclose(statm);
    }
    return (rlim_t)pages * (rlim_t)sysconf(_SC_PAGESIZE);
}

// Memory and time, so that a bomb fails at once and a loop ends. Without /proc to measure
// what is mapped already, there is no safe memory limit, and no decoding.
static void limit_helper() {
    limit(RLIMIT_CORE, 0); // a crashing decoder leaves no core file among the pictures
    limit(RLIMIT_CPU, decode_cpu_seconds);
    limit(RLIMIT_FSIZE, decoder_memory); // the memory file takes no more than a picture
    limit(RLIMIT_NPROC, 0);              // and nothing it starts outlives it
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    rlim_t now = address_space();
    if (now == 0)
        _exit(1);
    limit(RLIMIT_AS, now + decoder_memory);
}

static bool read_file(int file, Uint8* into, off_t size) {
    for (off_t got = 0; got < size;) {
        ssize_t n = read(file, into + got, (size_t)(size - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

static bool write_all(int fd, const void* data, size_t n) {
    for (const char* p = (const char*)data; n > 0;) {
        ssize_t done = write(fd, p, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        p += done;
        n -= (size_t)done;
    }
    return true;
}

// Rows already handed back are not read again: their pages go back to the system as they
// leave, so a picture is held about once between the helper and the toy, not twice.
static void release(const Uint8* from, const Uint8* to) {
    uintptr_t page = (uintptr_t)sysconf(_SC_PAGESIZE);
    uintptr_t first = ((uintptr_t)from + page - 1) / page * page, end = (uintptr_t)to / page * page;
    if (end > first)
        madvise((void*)first, end - first, MADV_DONTNEED);
}

// The rows as decoded, padding and all, into the memory file, from which the toy draws them.
static bool write_rows(int pixels, const SDL_Surface* s) {
    const Uint8* rows = (const Uint8*)s->pixels;
    size_t total = (size_t)s->pitch * (size_t)s->h;
    for (size_t done = 0; done < total;) {
        ssize_t wrote = pwrite(pixels, rows + done, std::min(total - done, write_bytes), done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += (size_t)wrote;
        release(rows, rows + done);
    }
    return true;
}

// The rows first, then what the toy needs to read them: once the pipe speaks, they are there.
static bool send_picture(int out, int pixels, SDL_Surface* s) {
    const SDL_PixelFormat* f = s->format;
    picture_header h = {s->w,
                        s->h,
                        f->BitsPerPixel,
                        s->pitch,
                        {f->Rmask, f->Gmask, f->Bmask, f->Amask},
                        s->flags & (SDL_SRCCOLORKEY | SDL_SRCALPHA),
                        f->colorkey,
                        f->alpha,
                        f->palette ? f->palette->ncolors : 0};
    if (!acceptable(h) || (SDL_MUSTLOCK(s) && SDL_LockSurface(s) != 0))
        return false;
    return write_rows(pixels, s) && write_all(out, &h, sizeof h) &&
           write_all(out, f->palette ? f->palette->colors : nullptr, h.colours * sizeof(SDL_Color));
}

// Runs in the child: it reads the file, limits itself, decodes exactly as IMG_Load does (the
// same decoders, the extension as the type hint) and sends the picture back.
[[noreturn]] static void helper(int file, off_t size, const char* type, int out, int pixels,
                                pid_t toy) {
    prctl(PR_SET_PDEATHSIG, SIGKILL); // nothing needs the picture once the toy has gone
    if (getppid() != toy)
        _exit(1);
    // Stop signals end it at once. The library's fatal-signal handlers, which the toy's own
    // process can have, would close a window shared with it.
    for (int sig : {SIGINT, SIGTERM, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGPIPE})
        signal(sig, SIG_DFL);
    quiet(1);
    quiet(2); // a looping decoder can print a warning per turn
    limit_helper();
    Uint8* data = (Uint8*)malloc((size_t)size);
    if (!data || !read_file(file, data, size))
        _exit(1);
    close(file);
    bytes b = {data, (int)size, 0, 0};
    SDL_RWops* rw = SDL_AllocRW();
    if (!rw)
        _exit(1);
    rw->hidden.unknown.data1 = &b;
    rw->read = bytes_read;
    rw->seek = bytes_seek;
    rw->write = bytes_write;
    rw->close = bytes_close;
    SDL_Surface* picture = IMG_LoadTyped_RW(rw, 1, (char*)type);
    free(data);
    _exit(picture && send_picture(out, pixels, picture) ? 0 : 1);
}

// ---- In the toy ----

void decode_start(decoding* d, const char* path) {
    *d = {0, -1, -1, {}, nullptr};
    clock_gettime(CLOCK_MONOTONIC, &d->started);
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
        helper(file, st.st_size, type ? type + 1 : nullptr, ends[1], pixels, toy);
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
    d->from_helper = ends[0];
    d->pixels = pixels;
}

static long ms_left(const decoding* d) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long spent =
        (now.tv_sec - d->started.tv_sec) * 1000 + (now.tv_nsec - d->started.tv_nsec) / 1000000;
    return decode_ms - spent;
}

// Exactly n bytes from the helper, before its deadline and before a stop.
static bool receive_bytes(const decoding* d, void* into, size_t n, bool (*stopping)()) {
    for (char* p = (char*)into; n > 0;) {
        long wait = std::min(ms_left(d), (long)poll_ms);
        if (wait <= 0 || (stopping && stopping()))
            return false;
        struct pollfd ready = {d->from_helper, POLLIN, 0};
        if (poll(&ready, 1, (int)wait) <= 0)
            continue;
        ssize_t got = read(d->from_helper, p, n);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return false;
        p += got;
        n -= (size_t)got;
    }
    return true;
}

// What the helper says of its picture, once its rows are in the memory file.
struct description {
    picture_header h;
    SDL_Color colours[256];
};

static bool receive_description(const decoding* d, description* got, bool (*stopping)()) {
    return receive_bytes(d, &got->h, sizeof got->h, stopping) && acceptable(got->h) &&
           receive_bytes(d, got->colours, got->h.colours * sizeof(SDL_Color), stopping);
}

// The decoded colours, then black for every index that the picture's own palette does not
// reach: SDL maps a palette by its length, and a pixel beyond it would be looked up past the
// end of the library's table.
static bool set_palette(SDL_Surface* s, const description& got) {
    SDL_Palette* palette = s->format->palette;
    if (!palette)
        return got.h.colours == 0;
    if (palette->ncolors > 256 || got.h.colours > palette->ncolors)
        return false;
    SDL_Color colours[256] = {};
    memcpy(colours, got.colours, got.h.colours * sizeof(SDL_Color));
    SDL_SetColors(s, colours, 0, palette->ncolors);
    return true;
}

// The rows the helper left in the memory file, mapped as they are: the picture is drawn from
// them, with no copy. Called once the helper has gone; sealed first, so that nothing it may
// have left behind can change them or cut the file short under the toy.
static SDL_Surface* map_picture(int pixels, const description& got) {
    const picture_header& h = got.h;
    size_t bytes = (size_t)h.pitch * (size_t)h.h;
    struct stat st;
    int seals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;
    if (fcntl(pixels, F_ADD_SEALS, seals) != 0 || fstat(pixels, &st) != 0 ||
        (size_t)st.st_size < bytes)
        return nullptr;
    void* rows = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE, pixels, 0);
    if (rows == MAP_FAILED)
        return nullptr;
    SDL_Surface* s = SDL_CreateRGBSurfaceFrom(rows, h.w, h.h, h.bits, h.pitch, h.masks[0],
                                              h.masks[1], h.masks[2], h.masks[3]);
    if (!s || s->format->BitsPerPixel != h.bits || !set_palette(s, got)) {
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

static void stop_helper(decoding* d) {
    if (d->helper > 0) {
        kill(d->helper, SIGKILL);
        waitpid(d->helper, nullptr, 0);
    }
    d->helper = 0;
}

// Stops the helper, if it still runs, and closes what it handed its picture back through.
static void end_helper(decoding* d) {
    stop_helper(d);
    close(d->from_helper);
    close(d->pixels);
    d->from_helper = -1;
    d->pixels = -1;
}

static void abandon(decoding* all, int count) {
    for (decoding* d = all; d < all + count; d++) {
        if (d->helper != 0)
            end_helper(d);
        decode_release(d->picture);
        d->picture = nullptr;
    }
}

// Once the helper has described its picture, it has nothing more to do: it is ended before its
// rows are taken, so that it cannot change them under the toy.
static void take_picture(decoding* d, bool (*stopping)()) {
    description got;
    bool described = receive_description(d, &got, stopping);
    stop_helper(d);
    if (described)
        d->picture = map_picture(d->pixels, got);
}

bool decode_finish(decoding* all, int count, bool (*stopping)()) {
    std::vector<pollfd> ready;
    std::vector<decoding*> waiting;
    for (;;) {
        if (stopping && stopping()) {
            abandon(all, count);
            return false;
        }
        ready.clear();
        waiting.clear();
        long wait = poll_ms;
        for (decoding* d = all; d < all + count; d++) {
            if (d->helper != 0 && ms_left(d) <= 0)
                end_helper(d); // too slow: refused
            if (d->helper == 0)
                continue;
            ready.push_back({d->from_helper, POLLIN, 0});
            waiting.push_back(d);
            wait = std::min(wait, ms_left(d));
        }
        if (waiting.empty())
            return true;
        if (poll(ready.data(), ready.size(), (int)std::max(wait, 0L)) <= 0)
            continue;
        for (size_t i = 0; i < ready.size(); i++) {
            if (!ready[i].revents)
                continue;
            take_picture(waiting[i], stopping);
            end_helper(waiting[i]);
        }
    }
}
