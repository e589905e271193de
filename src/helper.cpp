// The decoding helper, a child of the toy: it reads a picture file's bytes, limits and confines
// itself, runs the picture library's decoder on them and sends the picture back. A hostile file
// may take the decoder over, so by then the helper holds nothing but its pipe and memory file,
// and the kernel refuses it everything else (sandbox.cpp).
#include "helper.h"

#include "sandbox.h"

#include <SDL.h>
#include <SDL_image.h>
#include <errno.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const rlim_t decode_cpu_seconds = 3; // in case the toy stops watching
const size_t write_bytes = 8 << 20;  // how much of the picture is handed back at a time
// Every read at the end of the data gives the decoder nothing, so one that keeps reading there
// is going round on stale bytes (a PNG cut after an ancillary chunk does, forever). Decoding a
// whole file, however odd, never needs this many.
const long most_reads_at_end = 100000;

// ---- The file's bytes, read once; the decoder reads them from memory ----

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

static bool read_file(int file, Uint8* into, off_t size) {
    return move_all((size_t)size,
                    [&](size_t got) { return read(file, into + got, (size_t)size - got); });
}

// ---- Limits: memory, time and processes ----

static bool limit(int resource, rlim_t most) {
    struct rlimit both = {most, most};
    return setrlimit(resource, &both) == 0;
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

// So that a bomb fails at once and a loop ends. Each limit only lowers what the helper may do,
// so one that cannot be set means something is wrong, and nothing is decoded; so too without
// /proc to measure what is mapped already, as there is then no safe memory limit.
bool helper_limit() {
    rlim_t now = address_space();
    return limit(RLIMIT_CORE, 0) && // a crashing decoder leaves no core file among the pictures
           limit(RLIMIT_CPU, decode_cpu_seconds) &&
           limit(RLIMIT_FSIZE, decoder_memory) && // the memory file takes no more than a picture
           limit(RLIMIT_NPROC, 0) &&              // and nothing it starts outlives it
           prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && now != 0 &&
           limit(RLIMIT_AS, now + decoder_memory);
}

// Whether this system holds a process to its address-space limit: an emulator (qemu's user
// mode) accepts the limit and ignores it. Tried in a child, which takes a limit just above what
// it has and asks for more than that.
static bool memory_limit_holds() {
    const size_t margin = 64 << 20;
    pid_t child = fork();
    if (child == 0) {
        limit(RLIMIT_AS, address_space() + margin);
        void* more = mmap(nullptr, 2 * margin, PROT_NONE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        _exit(more == MAP_FAILED ? 0 : 1);
    }
    int status = 0;
    return child < 0 ||
           (waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

bool helper_memory_held() {
    static int held = -1;
    if (held < 0)
        held = memory_limit_holds();
    return held;
}

// Said once however many pictures are decoded.
void helper_prepare() {
    static bool said = false;
    if (said)
        return;
    said = true;
    sandbox_prepare();
    if (!helper_memory_held())
        fprintf(stderr, "dressup: this system does not hold a process to a memory limit, so a "
                        "picture can take much memory while it decodes\n");
}

// ---- Sending the picture back ----

static bool write_all(int fd, const void* data, size_t n) {
    const char* p = (const char*)data;
    return move_all(n, [&](size_t done) { return write(fd, p + done, n - done); });
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
    return move_all(total, [&](size_t done) {
        release(rows, rows + done);
        return pwrite(pixels, rows + done, std::min(total - done, write_bytes), done);
    });
}

picture_header describe(const SDL_Surface* s) {
    const SDL_PixelFormat* f = s->format;
    return {shape_of(s),
            {f->Rmask, f->Gmask, f->Bmask, f->Amask},
            s->flags & (SDL_SRCCOLORKEY | SDL_SRCALPHA),
            f->colorkey,
            f->alpha};
}

// The rows first, then what the toy needs to read them: once the pipe speaks, they are there.
static bool send_picture(int out, int pixels, SDL_Surface* s) {
    const SDL_PixelFormat* f = s->format;
    picture_header h = describe(s);
    if (!placeable(h.shape) || (SDL_MUSTLOCK(s) && SDL_LockSurface(s) != 0))
        return false;
    return write_rows(pixels, s) && write_all(out, &h, sizeof h) &&
           write_all(out, f->palette ? f->palette->colors : nullptr,
                     h.shape.colours * sizeof(SDL_Color));
}

// ---- The helper ----

[[noreturn]] void helper_run(int file, off_t size, const char* type, int out, int pixels,
                             pid_t toy) {
    prctl(PR_SET_PDEATHSIG, SIGKILL); // nothing needs the picture once the toy has gone
    if (getppid() != toy)
        _exit(1);
    // Stop signals end it at once. The library's fatal-signal handlers, which the toy's own
    // process can have, would close a window shared with it.
    for (int sig : {SIGINT, SIGTERM, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGPIPE})
        signal(sig, SIG_DFL);
    Uint8* data = helper_limit() ? (Uint8*)malloc((size_t)size) : nullptr;
    SDL_RWops* rw = SDL_AllocRW();
    if (!data || !rw || !read_file(file, data, size) || !sandbox_enter(out, pixels))
        _exit(1);
    bytes b = {data, (int)size, 0, 0};
    rw->hidden.unknown.data1 = &b;
    rw->read = bytes_read;
    rw->seek = bytes_seek;
    rw->write = bytes_write;
    rw->close = bytes_close;
    SDL_Surface* picture = IMG_LoadTyped_RW(rw, 1, (char*)type);
    free(data);
    _exit(picture && send_picture(out, pixels, picture) ? 0 : 1);
}
