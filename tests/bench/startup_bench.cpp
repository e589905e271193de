// How long until the first frame shows, in Xvfb: the toy with the bundled pictures, and with a
// picture bomb under one name, against a bare SDL window that paints the same background; and
// with a 6000 x 6000 and a 12000 x 12000 picture while another process keeps a core busy,
// against the same on an idle machine, and whether each was shown.
#include "app.h"
#include "draw.h"
#include "rep.h"
#include "support/frames.h"
#include "support/pictures.h"
#include "support/process.h"
#include "support/x11.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

const int runs = 7;
const int probe_x = 2, probe_y = 2; // background in every scene: left of the figure

typedef std::chrono::steady_clock clock_type;

// The baseline: open the window as the toy does, paint the background once, wait to be killed.
static int bare_window() {
    SDL_Surface* screen = open_screen();
    if (!screen)
        return 1;
    paint_background(screen);
    SDL_UpdateRect(screen, 0, 0, 0, 0);
    SDL_Event event;
    while (SDL_WaitEvent(&event))
        if (event.type == SDL_VIDEOEXPOSE)
            SDL_UpdateRect(screen, 0, 0, 0, 0);
    return 0;
}

// Resident memory of the process and its children (the toy's decoding helpers), in MB.
static long tree_mb(pid_t pid) {
    std::vector<pid_t> pids = children_of(pid);
    pids.push_back(pid);
    long kb = 0;
    for (pid_t p : pids) {
        std::ifstream status("/proc/" + std::to_string(p) + "/status");
        for (std::string word; status >> word;) {
            if (word == "VmRSS:") {
                long v = 0;
                status >> v;
                kb += v;
            }
        }
    }
    return kb / 1024;
}

struct startup {
    double ms;    // from the start of the process to the first frame on the screen
    long peak_mb; // the most the process and its helpers held meanwhile
    bool refused; // a picture was reported rather than shown
};

static startup first_frame(const xserver& x, const std::vector<std::string>& command,
                           const std::string& dir) {
    auto start = clock_type::now();
    child c = start_program(
        command, dir, {{"DISPLAY", x.display}, {"WAYLAND_DISPLAY", ""}, {"SDL_VIDEODRIVER", ""}});
    startup s = {-1, 0, false};
    x_window w = {};
    bool found = false;
    while (std::chrono::duration<double>(clock_type::now() - start).count() < 30) {
        s.peak_mb = std::max(s.peak_mb, tree_mb(c.pid));
        found = found || find_window(x.dpy, 1024, 512, 1, &w);
        if (found && capture(x.dpy, w.left + probe_x, w.top_y + probe_y, 1, 1)[0] ==
                         background_at(probe_x, probe_y)) {
            s.ms = std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
            break;
        }
        usleep(500);
    }
    kill(c.pid, SIGKILL);
    wait_child(&c, 5000);
    s.refused = read_file(c.out_path).find("Malamente") != std::string::npos;
    return s;
}

// The median time and the largest peak over several runs.
static startup measure(const xserver& x, const std::vector<std::string>& command,
                       const std::string& dir) {
    std::vector<double> times;
    long peak = 0;
    bool refused = false;
    for (int r = 0; r < runs; r++) {
        startup s = first_frame(x, command, dir);
        if (s.ms < 0)
            return s;
        times.push_back(s.ms);
        peak = std::max(peak, s.peak_mb);
        refused = refused || s.refused;
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], peak, refused};
}

// A process that keeps one core busy until it is killed.
static pid_t keep_a_core_busy() {
    pid_t busy = fork();
    if (busy == 0)
        for (volatile unsigned i = 0;; i++)
            continue;
    return busy;
}

// The bundled pictures with a large solid picture as the T-shirt: the first frame while another
// process keeps a core busy, against the same when idle.
static void busy_against_idle(const xserver& x, const std::string& from, int side) {
    std::string dir = make_temp_dir();
    for (const auto& entry : std::filesystem::directory_iterator(from))
        if (entry.path().extension() == ".png" && entry.path().filename() != "camiseta.png")
            std::filesystem::copy_file(entry.path(), dir / entry.path().filename());
    if (!write_solid_png(dir + "/camiseta.png", side, side, 0xFF2080C0, png_rgb)) {
        fprintf(stderr, "startup_bench: cannot write a %d x %d picture\n", side, side);
        exit(1);
    }
    startup idle = measure(x, {DRESSUP_BINARY}, dir);
    pid_t busy = keep_a_core_busy();
    startup loaded = measure(x, {DRESSUP_BINARY}, dir);
    kill(busy, SIGKILL);
    waitpid(busy, nullptr, 0);
    remove_tree(dir);
    auto shown = [](const startup& s) {
        return s.ms < 0 ? "no frame" : s.refused ? "refused" : "shown";
    };
    printf("first frame with a core busy / idle: %.2f with a %d x %d picture (idle %.0f ms, %s;"
           " busy %.0f ms, %s)\n",
           loaded.ms / idle.ms, side, side, idle.ms, shown(idle), loaded.ms, shown(loaded));
}

// sdl12-compat numbers its releases from 1.2.50 on; the classic library ended at 1.2.15.
static std::string sdl_name() {
    int patch = SDL_Linked_Version()->patch;
    return (patch >= 50 ? "sdl12-compat 1.2." : "classic SDL 1.2.") + std::to_string(patch);
}

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--bare")
        return bare_window();
    if (argc != 2) {
        fprintf(stderr, "usage: %s PICTURE-FOLDER\n", argv[0]);
        return 2;
    }
    // Copies, since the runs leave their logs in the folder.
    std::string bundled = make_temp_dir(), bombed = make_temp_dir();
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        if (entry.path().extension() != ".png")
            continue;
        std::filesystem::copy_file(entry.path(), bundled / entry.path().filename());
        std::filesystem::copy_file(entry.path(), bombed / entry.path().filename());
    }
    std::filesystem::remove(bombed + "/camiseta.png");
    if (!write_png_bomb(bombed + "/camiseta.png", 16000, 16000)) {
        fprintf(stderr, "startup_bench: cannot write the bomb\n");
        return 1;
    }
    std::string self = std::filesystem::canonical("/proc/self/exe");
    xserver x = {};
    if (!xserver_start(&x)) {
        fprintf(stderr, "startup_bench: cannot start Xvfb\n");
        return 1;
    }
    startup bare = {}, toy = {}, bomb = {};
    for (int pass = 0; pass < 2; pass++) { // the first pass warms the caches up
        bare = measure(x, {self, "--bare"}, bundled);
        toy = measure(x, {DRESSUP_BINARY}, bundled);
        bomb = measure(x, {DRESSUP_BINARY}, bombed);
    }
    for (int side : {6000, 12000})
        busy_against_idle(x, argv[1], side);
    xserver_stop(&x);
    remove_tree(bundled);
    remove_tree(bombed);
    if (bare.ms < 0 || toy.ms < 0 || bomb.ms < 0) {
        fprintf(stderr, "startup_bench: a first frame never came\n");
        return 1;
    }
    printf("first frame / bare window: %.2f with the bundled pictures, %.2f with a 16000 x 16000"
           " PNG bomb under one name, on %s (bare window %.0f ms, %ld MB; toy %.0f ms, %ld MB;"
           " with the bomb %.0f ms, %ld MB)\n",
           toy.ms / bare.ms, bomb.ms / bare.ms, sdl_name().c_str(), bare.ms, bare.peak_mb, toy.ms,
           toy.peak_mb, bomb.ms, bomb.peak_mb);
    return 0;
}
