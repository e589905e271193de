// Fuzzes what the toy takes from a decoding helper that a hostile picture has taken over: the
// description and palette down its pipe, the rows, size and seals of its memory file. The toy's
// own receiving code (decode.cpp) starts a real helper process; --wrap puts the reply in
// helper_run's place. Every picture it accepts is drawn wherever a drag can take it, from a copy
// of its rows that ends at a page nothing can read: the library's blits are not instrumented,
// so reading past the rows must fault.
#include "decode.h"
#include "helper_reply.h"
#include "image.h"

#include <SDL.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const uint8_t* input;
static size_t input_size;
static char picture_path[] = "/tmp/dressup-fuzz-XXXXXX";
static SDL_Surface* screen;

// helper_run(int file, off_t size, const char* type, int out, int pixels, pid_t toy), in the
// forked helper: the reply, as the input says, then gone.
extern "C" [[noreturn]] void __wrap__Z10helper_runilPKciii(int, off_t, const char*, int out,
                                                           int pixels, pid_t) {
    reply_start r;
    memcpy(&r, input, sizeof r);
    const uint8_t* rest = input + sizeof r;
    size_t left = input_size - sizeof r, piped = std::min<size_t>(r.pipe_bytes, left);
    size_t file_bytes = r.file_bytes % (most_file_bytes + 1);
    if (ftruncate(pixels, (off_t)file_bytes) == 0)
        pwrite(pixels, rest + piped, std::min(left - piped, file_bytes), 0);
    fcntl(pixels, F_ADD_SEALS,
          r.seals & (F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE));
    write(out, rest, piped);
    _exit(0);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) != 0 || !(screen = SDL_SetVideoMode(1024, 512, 32, 0))) {
        fprintf(stderr, "helper_reply_fuzz: no screen: %s\n", SDL_GetError());
        exit(1);
    }
    // The toy opens the file and starts a helper only for a regular file that holds something.
    int file = mkstemp(picture_path);
    if (file < 0 || write(file, "picture", 7) != 7 || close(file) != 0) {
        perror("helper_reply_fuzz: a file to decode");
        exit(1);
    }
    atexit([] { unlink(picture_path); });
    return 0;
}

// Rows that end where a page nothing can read begins.
static Uint8* guarded_copy(const SDL_Surface* s, void** mapping, size_t* mapped) {
    size_t page = (size_t)sysconf(_SC_PAGESIZE);
    size_t bytes = (size_t)s->pitch * (size_t)s->h, inside = (bytes + page - 1) / page * page;
    *mapped = inside + page;
    *mapping = mmap(nullptr, *mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (*mapping == MAP_FAILED || mprotect((Uint8*)*mapping + inside, page, PROT_NONE) != 0)
        abort();
    Uint8* rows = (Uint8*)*mapping + inside - bytes;
    memcpy(rows, s->pixels, bytes);
    return rows;
}

// Everywhere a drag can take a piece: its edges just inside each of the window's, and past them.
static void draw_everywhere(SDL_Surface* picture) {
    void* mapping;
    size_t mapped;
    void* rows = picture->pixels;
    picture->pixels = guarded_copy(picture, &mapping, &mapped);
    image img = {picture, 0, 0, 0, 0};
    int w = picture->w, h = picture->h;
    for (int x : {1 - w, -w / 2, -33, -1, 0, 700, 1022})
        for (int y : {1 - h, -h / 2, -3, 0, 300, 510})
            image_blit(x, y, &img, screen);
    munmap(mapping, mapped);
    picture->pixels = rows;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < sizeof(reply_start))
        return 0;
    input = data;
    input_size = size;
    const char* path = picture_path;
    SDL_Surface* picture = nullptr;
    if (!decode_finish(decode_start(&path, 1), &picture, nullptr))
        abort();
    if (picture)
        draw_everywhere(picture);
    decode_release(picture);
    return 0;
}
