// Broken, unusual and hostile files under a picture's name: each loads or is reported, once,
// and nothing hangs or crashes, whatever the picture library would do with it alone. What
// loads is what the library decodes, as it decodes it.
#include "decode.h"
#include "helper.h"
#include "image.h"
#include "sandbox.h"
#include "support/frames.h"
#include "support/odd_files.h"
#include "support/pictures.h"
#include "support/process.h"
#include "support/wraps.h"

#include <SDL_image.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>

struct OddFile : testing::TestWithParam<odd_file> {};

// The helper's picture against the library's own, decoded here: size, pixel format, palette,
// colour key, alpha settings and every pixel.
static void expect_as_decoded(const SDL_Surface* got, const std::string& path) {
    SDL_Surface* want = IMG_Load(path.c_str());
    ASSERT_NE(want, nullptr) << IMG_GetError();
    const SDL_PixelFormat *g = got->format, *w = want->format;
    EXPECT_EQ(got->w, want->w);
    EXPECT_EQ(got->h, want->h);
    EXPECT_EQ(g->BitsPerPixel, w->BitsPerPixel);
    EXPECT_EQ(g->Rmask, w->Rmask);
    EXPECT_EQ(g->Gmask, w->Gmask);
    EXPECT_EQ(g->Bmask, w->Bmask);
    EXPECT_EQ(g->Amask, w->Amask);
    const Uint32 settings = SDL_SRCCOLORKEY | SDL_SRCALPHA;
    EXPECT_EQ(got->flags & settings, want->flags & settings);
    if (want->flags & SDL_SRCCOLORKEY) {
        EXPECT_EQ(g->colorkey, w->colorkey);
    }
    EXPECT_EQ(g->alpha, w->alpha);
    ASSERT_EQ(g->palette != nullptr, w->palette != nullptr);
    for (int i = 0; w->palette && i < w->palette->ncolors; i++)
        EXPECT_EQ(memcmp(&g->palette->colors[i], &w->palette->colors[i], 3), 0) << "colour " << i;
    size_t row = (size_t)want->w * w->BytesPerPixel;
    for (int y = 0; y < want->h && !testing::Test::HasFailure(); y++)
        EXPECT_EQ(memcmp((Uint8*)got->pixels + y * got->pitch,
                         (Uint8*)want->pixels + y * want->pitch, row),
                  0)
            << "row " << y;
    SDL_FreeSurface(want);
}

TEST_P(OddFile, LoadsOrIsReportedOnceAndDrawsSafely) {
    const odd_file& odd = GetParam();
    std::string dir = make_temp_dir();
    std::string path = dir + "/camiseta.png";
    ASSERT_TRUE(odd.make(path)) << "cannot make " << odd.name;
    // Root reads a file whatever its permissions say.
    bool shows = odd.shows || (geteuid() == 0 && std::string(odd.name) == "unreadable");

    testing::internal::CaptureStdout();
    const char* name = path.c_str();
    decoding* d = decode_start(&name, 1);
    if (odd.swap) {
        ASSERT_TRUE(odd.swap(path));
    }
    SDL_Surface* picture;
    ASSERT_TRUE(decode_finish(d, &picture, nullptr));
    image* img = image_create(picture);
    std::string said = testing::internal::GetCapturedStdout();
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->surface != nullptr, shows);
    EXPECT_EQ(said, shows ? "" : "Malamente! No carga\n");
    if (odd.shows && !odd.swap && odd.w * odd.h < 1000000)
        expect_as_decoded(img->surface, path);

    // Drawn anywhere, clipped on every side, it stays inside its memory.
    SDL_Surface* screen = dummy_screen();
    for (int x : {-40000, -32768, -100, 0, 500, 1000, 40000})
        for (int y : {-40000, -32768, -100, 0, 300, 500, 40000})
            image_blit(x, y, img, screen);
    if (shows && odd.w > 0) {
        EXPECT_EQ(img->w, odd.w);
        EXPECT_EQ(img->h, odd.h);
    }
    image_destroy(img);
    remove_tree(dir);
}

INSTANTIATE_TEST_SUITE_P(Files, OddFile, testing::ValuesIn(odd_files()),
                         [](const auto& info) { return test_name(info.param); });

// A window that takes seconds to open (a title bar's toolkit starting under the sanitizers)
// does not make a picture that was decoded in time late.
TEST(Decode, APictureDecodedInTimeIsTakenHoweverLateItIsAskedFor) {
    std::string dir = make_temp_dir();
    ASSERT_TRUE(write_solid_png(dir + "/pant.png", 60, 90, 0xFF1040C0, png_rgb));
    std::string path = dir + "/pant.png";
    const char* name = path.c_str();
    decoding* d = decode_start(&name, 1);
    sleep(3); // longer than a helper may work
    SDL_Surface* picture;
    ASSERT_TRUE(decode_finish(d, &picture, nullptr));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->w, 60);
    decode_release(picture);
    remove_tree(dir);
}

// What the stand-in helper says of its picture, and how many bytes of rows it sends.
static picture_header told;
static size_t told_bytes;

static void telling_helper(int out, int pixels) {
    static const SDL_Color colours[300] = {};
    if (ftruncate(pixels, (off_t)told_bytes) == 0 && write(out, &told, sizeof told) > 0)
        write(out, colours, std::clamp(told.shape.colours, 0, 300) * sizeof(SDL_Color));
}

// A helper a hostile file has taken over may describe its picture as it likes: what SDL 1.2
// could not hold or draw, or rows past the memory it sent, is refused before anything is drawn.
// So is every picture of a helper that cannot be limited, works too long or never answers.
TEST(Decode, WhatAHelperCannotBeTrustedWithIsRefused) {
    std::string dir = make_temp_dir(), path = dir + "/pant.png";
    ASSERT_TRUE(write_solid_png(path, 60, 90, 0xFF1040C0, png_rgb));
    auto decoded = [&] {
        const char* name = path.c_str();
        SDL_Surface* picture = nullptr;
        decode_finish(decode_start(&name, 1), &picture, nullptr);
        bool got = picture != nullptr;
        if (got) // drawn, all of it: nothing is read past the memory it came in
            SDL_BlitSurface(picture, nullptr, dummy_screen(), nullptr);
        decode_release(picture);
        return got;
    };
    const picture_header truth = {{60, 90, 32, 240, 0}, {0xFF0000, 0xFF00, 0xFF, 0}, 0, 0, 255};
    auto with = [&](picture_shape shape) { return picture_header{shape, {}, 0, 0, 255}; };
    struct {
        const char* lie;
        picture_header header;
        size_t bytes;
    } told_cases[] = {
        {"", truth, 240 * 90},
        {"rows longer than their pitch", with({60, 90, 32, 4, 0}), 4 * 90},
        {"more rows than the memory holds", truth, 240 * 89},
        {"more colours than 8 bits hold", with({60, 90, 8, 60, 257}), 60 * 90},
        {"colours for a picture without a palette", with({60, 90, 32, 240, 2}), 240 * 90},
        {"wider than SDL 1.2 places", with({40000, 1, 32, 160000, 0}), 160000},
        {"a depth there is not", with({60, 90, 12, 120, 0}), 120 * 90},
        {"a depth drawn past its rows when clipped", with({64, 4, 1, 8, 0}), 8 * 4},
    };
    helper_stand_in = telling_helper;
    for (const auto& c : told_cases) {
        told = c.header;
        told_bytes = c.bytes;
        EXPECT_EQ(decoded(), *c.lie == 0) << (*c.lie ? c.lie : "the truth");
    }
    // Judged by the processor time it takes, not by the clock: a helper kept waiting by a busy
    // machine is not late, but one that works too long, or waits without end, is.
    told = truth;
    told_bytes = 240 * 90;
    struct {
        const char* what;
        void (*helper)(int out, int pixels);
        bool shown;
    } behaviours[] = {
        {"works the processor past its time",
         [](int, int) {
             for (volatile int i = 0;; i++)
                 ;
         },
         false},
        {"takes 4 s to answer, idle",
         [](int out, int pixels) {
             sleep(4);
             telling_helper(out, pixels);
         },
         true},
        {"waits without end", [](int, int) { pause(); }, false},
    };
    for (const auto& b : behaviours) {
        helper_stand_in = b.helper;
        EXPECT_EQ(decoded(), b.shown) << "a helper that " << b.what;
    }
    helper_stand_in = nullptr;
    fail_limits = true;
    EXPECT_FALSE(decoded()) << "decoded by a helper that could not be limited";
    fail_limits = false;
    EXPECT_TRUE(decoded());
    remove_tree(dir);
}

// What a decoder taken over by a hostile file might try, once the helper is confined: each
// returns true if it got out. shut_by lists what keeps it in, any one of them on its own: the
// sandbox's layers, and the helper's limits.
const unsigned by_limits = 8;  // on time, and on processes where the helper is not root
const unsigned by_memory = 16; // on memory, where the system holds a process to it
struct way_out {
    const char* name;
    unsigned shut_by;
    std::function<bool()> attempt;
};

// A listening socket of the given family at the given address; the test checks afterwards
// that nobody connected.
static int listener(int family, const sockaddr* at, socklen_t size) {
    int s = socket(family, SOCK_STREAM | SOCK_NONBLOCK, 0);
    EXPECT_GE(s, 0);
    EXPECT_EQ(bind(s, at, size), 0) << strerror(errno);
    EXPECT_EQ(listen(s, 4), 0);
    return s;
}

static bool connects(int family, const sockaddr* at, socklen_t size) {
    int s = socket(family, SOCK_STREAM, 0);
    return s >= 0 && connect(s, at, size) == 0;
}

static volatile sig_atomic_t signalled = 0;

// That the way does not get out of a helper limited as always and confined by the given layers.
static void expect_shut(const way_out& way, unsigned layers) {
    int report[2];
    ASSERT_EQ(pipe2(report, O_NONBLOCK), 0);
    int rows = memfd_create("rows", 0);
    pid_t helper = fork();
    if (helper == 0) {
        bool confined = helper_limit() && sandbox_enter(report[1], rows, layers);
        char escaped = !confined ? 'c' : way.attempt() ? 'y' : 'n';
        write(report[1], &escaped, 1);
        _exit(0);
    }
    int status;
    char escaped = 0;
    waitpid(helper, &status, 0);
    read(report[0], &escaped, 1);
    // Refused, or killed: by the filter, or by what the attempt itself set off.
    bool died = WIFSIGNALED(status) || (!escaped && WEXITSTATUS(status) != 0);
    const char* confined = layers == sandbox_every_layer   ? "every layer"
                           : layers == sandbox_descriptors ? "the descriptors alone"
                           : layers == sandbox_landlock    ? "Landlock alone"
                                                           : "the filter alone";
    EXPECT_TRUE(died || escaped == 'n') << way.name << ", confined by " << confined << ": "
                                        << (escaped == 'c' ? "not confined" : "got out");
    for (int fd : {report[0], report[1], rows})
        close(fd);
}

// Under the switch, a call the filter does not name is said by name on standard error, and the
// decoder still sees ENOSYS, as without it.
static void expect_refused_call_said() {
    int said[2];
    ASSERT_EQ(pipe(said), 0);
    pid_t helper = fork();
    if (helper == 0) {
        dup2(said[1], STDERR_FILENO);
        setenv(say_refused_calls, "1", 1);
        int rows = memfd_create("rows", 0);
        bool confined = helper_limit() && sandbox_enter(said[1], rows);
        long parent = syscall(SYS_getppid); // named nowhere in the filter
        const char* seen = confined && parent == -1 && errno == ENOSYS ? "ENOSYS\n" : "no\n";
        write(STDERR_FILENO, seen, strlen(seen)); // the sanitizers may not end it cleanly
        _exit(0);
    }
    close(said[1]);
    waitpid(helper, nullptr, 0);
    std::string text(4096, '\0');
    text.resize(std::max(0L, (long)read(said[0], &text[0], text.size())));
    close(said[0]);
    EXPECT_EQ(text.find("dressup: a picture's helper was refused the system call getppid"), 0u)
        << text;
    EXPECT_NE(text.find("\nENOSYS\n"), std::string::npos) << "not as without the switch: " << text;
}

TEST(Helper, ConfinedItCannotGetOutEachLayerHoldsAloneAndNothingIsLeft) {
    std::string dir = make_temp_dir();
    sockaddr_in tcp = {};
    tcp.sin_family = AF_INET;
    tcp.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int tcp_listener = listener(AF_INET, (sockaddr*)&tcp, sizeof tcp);
    socklen_t tcp_size = sizeof tcp;
    getsockname(tcp_listener, (sockaddr*)&tcp, &tcp_size); // the port the kernel chose
    sockaddr_un named = {AF_UNIX, {}}, abstract = {AF_UNIX, {}};
    snprintf(named.sun_path, sizeof named.sun_path, "%s/bus", dir.c_str());
    snprintf(abstract.sun_path + 1, sizeof abstract.sun_path - 1, "dressup-%d", getpid());
    int named_listener = listener(AF_UNIX, (sockaddr*)&named, sizeof named);
    int abstract_listener = listener(AF_UNIX, (sockaddr*)&abstract, sizeof abstract);
    // The toy's own descriptors, as a helper inherits them: a file it writes, and another
    // picture's pipe with that picture's description waiting in it.
    int toys_file = open((dir + "/toys").c_str(), O_WRONLY | O_CREAT, 0644);
    int other_picture[2];
    ASSERT_EQ(pipe(other_picture), 0);
    ASSERT_EQ(write(other_picture[1], "description", 11), 11);
    signal(SIGUSR1, [](int) { signalled = 1; });
    pid_t toy = getpid();

    // Landlock shuts more the newer the kernel's.
    sandbox_support kernel = sandbox_learn();
    const unsigned fd = sandbox_descriptors, landlock = sandbox_landlock, filter = sandbox_filter;
    auto landlock_from = [&](int abi) { return kernel.landlock_abi >= abi ? landlock : 0; };
    const unsigned processes = geteuid() == 0 ? 0 : by_limits; // root may start any number
    std::vector<way_out> ways = {
        {"read /etc/passwd", fd | landlock_from(1) | filter,
         [] {
             char c;
             int f = open("/etc/passwd", O_RDONLY);
             return f >= 0 && read(f, &c, 1) == 1;
         }},
        {"create a file", fd | landlock_from(1) | filter,
         [&] { return creat((dir + "/made").c_str(), 0644) >= 0; }},
        {"TCP to the loopback", fd | landlock_from(4) | filter,
         [&] { return connects(AF_INET, (sockaddr*)&tcp, sizeof tcp); }},
        {"a Unix socket with a path", fd | filter,
         [&] { return connects(AF_UNIX, (sockaddr*)&named, sizeof named); }},
        {"an abstract Unix socket", fd | landlock_from(6) | filter,
         [&] { return connects(AF_UNIX, (sockaddr*)&abstract, sizeof abstract); }},
        {"run a program", landlock_from(1) | filter,
         [&] {
             std::string touch = "touch " + dir + "/ran";
             execl("/bin/sh", "sh", "-c", touch.c_str(), (char*)nullptr);
             return false;
         }},
        {"start a process", processes | filter, [] { return fork() >= 0; }},
        {"signal the toy", landlock_from(6) | filter, [&] { return kill(toy, SIGUSR1) == 0; }},
        {"signal the toy's thread", landlock_from(6) | filter,
         [&] { return syscall(SYS_tgkill, toy, toy, SIGUSR1) == 0; }},
        {"trace the toy", landlock_from(1) | filter,
         [&] { return ptrace(PTRACE_SEIZE, toy, nullptr, nullptr) == 0; }},
        {"write where the toy writes", fd,
         [&] { return write(STDERR_FILENO, "", 0) == 0 || write(toys_file, "x", 1) == 1; }},
        {"take another picture's description", fd,
         [&] {
             char c;
             return read(other_picture[0], &c, 1) == 1;
         }},
        {"map memory that can run", filter,
         [] {
             int all = PROT_READ | PROT_WRITE | PROT_EXEC;
             return mmap(nullptr, 4096, all, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED;
         }},
        {"make written memory run", filter,
         [] {
             void* page =
                 mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
             return page != MAP_FAILED && mprotect(page, 4096, PROT_READ | PROT_EXEC) == 0;
         }},
        {"hold a gigabyte", by_memory, [] { return malloc(1 << 30) != nullptr; }},
        {"keep the processor", by_limits,
         [] {
             for (time_t end = time(nullptr) + 30; time(nullptr) < end;) // killed after 3 s
                 continue;
             return true;
         }},
        {"an x32 system call", filter, [] { return syscall(0x40000000 | SYS_getpid) > 0; }},
#ifdef __x86_64__
        {"an i386 system call", filter,
         [] {
             long pid = 20; // getpid
             asm volatile("int $0x80" : "+a"(pid)::"memory");
             return pid > 0;
         }},
#endif
    };

    // What this system has, as the toy says it: a way only missing layers keep in is skipped.
    unsigned present = fd | by_limits | (kernel.landlock_abi > 0 ? landlock : 0) |
                       (kernel.no_filter ? 0 : filter) | (helper_memory_held() ? by_memory : 0);
    std::string skipped;
    for (const way_out& way : ways) {
        if (way.shut_by & present)
            expect_shut(way, sandbox_every_layer);
        else
            skipped += std::string("\n  ") + way.name;
        // Each layer alone keeps in what it can.
        for (unsigned layer : {fd, landlock, filter})
            if (way.shut_by & layer & present)
                expect_shut(way, layer);
    }

    // Nothing made, connected, run, signalled, written or taken.
    for (const char* trace : {"made", "ran"})
        EXPECT_NE(access((dir + "/" + trace).c_str(), F_OK), 0) << trace;
    for (int s : {tcp_listener, named_listener, abstract_listener})
        EXPECT_LT(accept(s, nullptr, nullptr), 0) << "a connection came in";
    EXPECT_EQ(signalled, 0);
    EXPECT_EQ(read_file(dir + "/toys"), "");
    char waiting[12] = {};
    EXPECT_EQ(read(other_picture[0], waiting, sizeof waiting), 11);
    signal(SIGUSR1, SIG_DFL);
    remove_tree(dir);
    if (!kernel.no_filter)
        expect_refused_call_said();
    if (!skipped.empty())
        GTEST_SKIP() << "not checked, since only what this system lacks would keep them in ("
                     << (kernel.no_filter ? kernel.no_filter : "") << "; "
                     << (kernel.no_landlock ? kernel.no_landlock : "")
                     << (helper_memory_held() ? "" : "; no memory limit held") << "):" << skipped;
}
