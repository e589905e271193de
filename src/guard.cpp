#include "guard.h"

#include <SDL_image.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>

// Far longer than any real picture takes (12000 x 12000 decodes in about a second).
const int trial_seconds = 20;
const int largest_side = 32767;

static void quiet(int fd) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0)
        dup2(null, fd);
}

// The file as the trial decoder sees it: the real file, except that a decoder which keeps
// reading at the end of the file has stopped making progress, and the trial ends there.
static SDL_RWops* trial_file;
static int short_reads;
const int most_short_reads = 1000;

static int trial_read(SDL_RWops*, void* into, int size, int count) {
    int got = SDL_RWread(trial_file, into, size, count);
    if (got < count && ++short_reads > most_short_reads)
        _exit(2);
    return got;
}

static int trial_seek(SDL_RWops*, int offset, int whence) {
    return SDL_RWseek(trial_file, offset, whence);
}

static int trial_close(SDL_RWops* rw) {
    SDL_FreeRW(rw);
    return SDL_RWclose(trial_file);
}

// Runs in the child: the decoder may loop or crash here, and only the child goes with it.
// It decodes exactly as IMG_Load does: the same decoders, the extension as the type hint.
static void trial_decode(const char* path) {
    // The library's fatal-signal handlers would close the window we share with the parent.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGPIPE})
        signal(sig, SIG_DFL);
    quiet(1);
    quiet(2); // a looping decoder can print a warning per turn
    trial_file = SDL_RWFromFile(path, "rb");
    SDL_RWops* watched = SDL_AllocRW();
    if (!trial_file || !watched)
        _exit(1);
    watched->read = trial_read;
    watched->seek = trial_seek;
    watched->close = trial_close;
    const char* type = strrchr(path, '.');
    _exit(IMG_LoadTyped_RW(watched, 1, type ? (char*)type + 1 : nullptr) ? 0 : 1);
}

static bool trial_succeeded(pid_t child) {
    struct timespec start, now, pause = {0, 1000000};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        int status = 0;
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (done < 0 || now.tv_sec - start.tv_sec > trial_seconds)
            break;
        nanosleep(&pause, nullptr);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return false;
}

// Some broken files send SDL_image into an endless loop at the end of the file (a PNG cut
// after an ancillary chunk, a GIF cut inside an extension) or into a crash (an XPM cut inside
// its rows), and a FIFO would block it for good. So each file is decoded once in a child
// process first, and only a file that decoded there is decoded for real.
bool safe_to_load(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    fflush(stdout); // or the child's copy of the buffer could be written twice
    fflush(stderr);
    pid_t child = fork();
    if (child == 0)
        trial_decode(path);
    if (child < 0)
        return true; // no process to spare: decode as the library always did
    return trial_succeeded(child);
}

// SDL 1.2 places a picture with 16-bit coordinates. A picture longer than they reach could be
// dragged to where its position wraps around, and it would be drawn far from where it is.
bool fits_rectangles(const SDL_Surface* picture) {
    return picture->w <= largest_side && picture->h <= largest_side;
}
