// The decoding helper, a child of the toy: it reads a picture file's bytes, confines itself, runs
// the picture library's decoder on them and sends the picture back. A hostile file may take the
// decoder over, so by then the helper holds nothing but its pipe and memory file, and the kernel
// refuses it everything else.
#include "helper.h"

#include <SDL.h>
#include <SDL_image.h>
#include <errno.h>
#include <linux/landlock.h>
#include <seccomp.h>
#include <signal.h>
#include <stddef.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
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

// ---- Limits: memory, time and processes ----

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

// So that a bomb fails at once and a loop ends. Without /proc to measure what is mapped already,
// there is no safe memory limit, and no decoding.
void helper_limit() {
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

// ---- The sandbox ----

// Every descriptor but these two: the toy's terminal, its window and the other pictures' pipes
// and memory files are out of reach.
static bool keep_only(int a, int b) {
    unsigned low = (unsigned)std::min(a, b), high = (unsigned)std::max(a, b);
    return (low == 0 || close_range(0, low - 1, 0) == 0) &&
           (high == low + 1 || close_range(low + 1, high - 1, 0) == 0) &&
           close_range(high + 1, ~0U, 0) == 0;
}

// Landlock's ruleset as the newest kernels take it; older headers lack its later fields. Each
// kernel is given the part it knows.
struct landlock_rules {
    uint64_t fs;     // file-system rights handled, and so, with no rule granting any, denied
    uint64_t net;    // from ABI 4: TCP rights
    uint64_t scoped; // from ABI 6: what may not reach outside the sandbox
};
const uint64_t landlock_fs_v1 = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1; // read, write, make...
const uint64_t landlock_fs_refer = 1ULL << 13;                          // ABI 2
const uint64_t landlock_fs_truncate = 1ULL << 14;                       // ABI 3
const uint64_t landlock_fs_ioctl_dev = 1ULL << 15;                      // ABI 5
const uint64_t landlock_net_tcp = 3;                                    // bind and connect, ABI 4
const uint64_t landlock_scope_abstract_unix = 1;                        // ABI 6
const uint64_t landlock_scope_signal = 2;                               // ABI 6

// No file, no TCP, no abstract socket and no signal outside, as far as this kernel's Landlock
// goes. Best effort: where it is missing or older, the system-call filter still holds.
static void deny_by_landlock() {
    long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1)
        return;
    landlock_rules rules = {landlock_fs_v1, 0, 0};
    size_t size = offsetof(landlock_rules, net);
    if (abi >= 2)
        rules.fs |= landlock_fs_refer;
    if (abi >= 3)
        rules.fs |= landlock_fs_truncate;
    if (abi >= 4) {
        rules.net = landlock_net_tcp;
        size = offsetof(landlock_rules, scoped);
    }
    if (abi >= 5)
        rules.fs |= landlock_fs_ioctl_dev;
    if (abi >= 6) {
        rules.scoped = landlock_scope_abstract_unix | landlock_scope_signal;
        size = sizeof rules;
    }
    long ruleset = syscall(SYS_landlock_create_ruleset, &rules, size, 0);
    if (ruleset < 0)
        return;
    syscall(SYS_landlock_restrict_self, ruleset, 0);
    close((int)ruleset);
}

// What decoding needs once the bytes are in memory.
static const char* const allowed_calls[] = {
    // memory, as the decoders grow and shrink their buffers
    "brk",
    "mmap",
    "munmap",
    "mremap",
    "madvise",
    "mprotect",
    // the picture into its pipe and memory file, and warnings to nowhere
    "write",
    "pwrite64",
    "writev",
    // glibc's abort, which signals its own thread (tgkill, below)
    "getpid",
    "gettid",
    "rt_sigprocmask",
    // libtiff's qsort asks how much memory there is
    "sysinfo",
    // locks, clocks and the end
    "futex",
    "clock_gettime",
    "exit",
    "exit_group",
};

// The ways out. A decoder that tries one has been taken over, so the helper dies.
static const char* const fatal_calls[] = {
    // another program
    "execve",
    "execveat",
    // the network, the session bus, the display server
    "socket",
    "connect",
    // the toy's memory, or any process's
    "ptrace",
    "process_vm_readv",
    "process_vm_writev",
    // signals to others
    "kill",
    "tkill",
    // new processes and namespaces
    "clone",
    "clone3",
    "fork",
    "vfork",
    "unshare",
    "setns",
    // the kernel's larger attack surfaces
    "bpf",
    "io_uring_setup",
    "io_uring_enter",
    "io_uring_register",
    "perf_event_open",
    // other processes by handle
    "pidfd_open",
    "pidfd_send_signal",
    "pidfd_getfd",
};

// A library may look for an optional file and carry on without it, as with no permission.
static const char* const refused_file_calls[] = {"open", "openat", "creat"};

// Rules by name, so the list holds on every architecture. A call this one lacks gets no rule;
// it cannot be made, and the default would refuse it anyway.
static void rule(scmp_filter_ctx filter, uint32_t action, const char* call) {
    int number = seccomp_syscall_resolve_name(call);
    if (number != __NR_SCMP_ERROR)
        seccomp_rule_add(filter, action, number, 0);
}

// Fails closed: a call not named here gets ENOSYS, so a harmless one a library update adds costs
// a refused picture rather than a crash, and other architectures' calling conventions (i386 and
// x32 on amd64) kill.
static bool filter_calls() {
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(ENOSYS));
    if (!filter)
        return false;
    seccomp_attr_set(filter, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS);
    for (const char* call : allowed_calls)
        rule(filter, SCMP_ACT_ALLOW, call);
    for (const char* call : fatal_calls)
        rule(filter, SCMP_ACT_KILL_PROCESS, call);
    for (const char* call : refused_file_calls)
        rule(filter, SCMP_ACT_ERRNO(EACCES), call);
    // glibc's abort signals its own thread; any other process is out of bounds.
    scmp_datum_t self = (scmp_datum_t)getpid();
    int tgkill = seccomp_syscall_resolve_name("tgkill");
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, tgkill, 1, SCMP_A0(SCMP_CMP_EQ, self));
    seccomp_rule_add(filter, SCMP_ACT_KILL_PROCESS, tgkill, 1, SCMP_A0(SCMP_CMP_NE, self));
    bool loaded = seccomp_load(filter) == 0;
    seccomp_release(filter);
    return loaded;
}

// A kernel without system-call filters at all says so to this call, which takes a filter
// anywhere else: EFAULT for the missing program, not EINVAL.
static bool kernel_filters_calls() {
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, nullptr) != 0 && errno == EFAULT;
}

// Valgrind runs the program on a machine of its own, whose own system calls a filter made for
// the program cuts off. It is known by the library it preloads.
static bool under_valgrind() {
    const char* preload = getenv("LD_PRELOAD");
    return preload && strstr(preload, "/vgpreload_");
}

// Why a helper cannot filter its system calls here, or null where it can.
static const char* unfilterable() {
    if (under_valgrind())
        return "valgrind cannot run a system-call filter";
    return kernel_filters_calls() ? nullptr : "this kernel cannot filter system calls";
}

void helper_prepare() {
    static bool checked = false;
    if (checked)
        return;
    checked = true;
    if (const char* why = unfilterable())
        fprintf(stderr, "dressup: %s, so pictures are decoded without one\n", why);
}

// Fails open only where no filter can run at all, as helper_prepare has said; anywhere else a
// helper that cannot be filtered decodes nothing.
bool helper_confine(int out, int pixels) {
    if (!keep_only(out, pixels))
        return false;
    deny_by_landlock();
    limit(RLIMIT_NOFILE, 0); // after Landlock, whose ruleset is a descriptor for a moment
    return unfilterable() || filter_calls();
}

// ---- Sending the picture back ----

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
    helper_limit();
    Uint8* data = (Uint8*)malloc((size_t)size);
    SDL_RWops* rw = SDL_AllocRW();
    if (!data || !rw || !read_file(file, data, size) || !helper_confine(out, pixels))
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
