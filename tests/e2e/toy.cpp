#include "toy.h"

#include "support/frames.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>

const int frame_deadline_ms = 10000;

// Where glibc's unseeded rand puts the clothes, in list order.
static const int start_places[4][2] = {{677, 18}, {693, 154}, {786, 136}, {549, 136}};

std::vector<test_picture> standard_pictures() {
    return {
        {"model.png", 60, 300, 0x6B4F3A, 0x806040, 0x907050, 255, png_rgb, false, nullptr, 0},
        {"pant.png", 120, 90, 0x1040C0, 0x2050D0, 0x3060E0, 255, png_palette, false, nullptr, 0},
        {"sabates.png", 110, 70, 0xC01020, 0xD02030, 0xE03040, 255, png_rgba, false, nullptr, 0},
        {"camiseta.png", 90, 80, 0x10A040, 0x20B050, 0x30C060, 255, png_rgb, false, nullptr, 0},
        {"bufanda_gorro.png", 100, 100, 0xE0C010, 0xD0B000, 0xF0D020, 255, png_rgba, false, nullptr,
         0},
    };
}

static uint32_t picture_pixel(const test_picture& p, int x, int y) {
    if (y < p.h / 4)
        return p.top;
    return x < p.w / 2 ? p.left : p.right;
}

static bool write_picture(const std::string& dir, const test_picture& p) {
    std::vector<uint32_t> pixels((size_t)p.w * p.h);
    for (int y = 0; y < p.h; y++)
        for (int x = 0; x < p.w; x++)
            pixels[(size_t)y * p.w + x] = (uint32_t)p.alpha << 24 | picture_pixel(p, x, y);
    return write_png(dir + "/" + p.file, p.w, p.h, pixels, p.form);
}

// sdl12-compat numbers its releases from 1.2.50 on; the classic library ended at 1.2.15.
static bool system_sdl_is_compat() {
    return SDL_Linked_Version()->patch >= 50;
}

bool on_sdl12_compat() {
    const char* path = getenv("DRESSUP_SDL_PATH");
    return (path && *path) || system_sdl_is_compat();
}

std::string requested_sdl(std::string* missing) {
    const char* path = getenv("DRESSUP_SDL_PATH");
    std::string sdl = path ? path : "";
    if (sdl.empty())
        return sdl;
    struct stat st;
    if (system_sdl_is_compat())
        *missing = "the system's SDL 1.2 is sdl12-compat 1.2." +
                   std::to_string(SDL_Linked_Version()->patch) +
                   " already: the sdl_system set ran on it";
    else if (stat((sdl + "/libSDL-1.2.so.0").c_str(), &st) != 0)
        *missing = "sdl12-compat is not installed in " + sdl +
                   ": the end-to-end tests ran on the system's SDL 1.2 only";
    return sdl;
}

bool toy_prepare(toy* t, const std::vector<test_picture>& pictures, std::string* why) {
    t->dir = make_temp_dir();
    t->program.pid = -1;
    t->scene.clear();
    for (size_t i = 0; i < pictures.size(); i++) {
        const test_picture& p = pictures[i];
        bool written =
            p.make ? p.make(t->dir + "/" + p.file) : p.missing || write_picture(t->dir, p);
        if (!written) {
            *why = std::string("cannot write ") + p.file;
            return false;
        }
        int x = i == 0 ? 100 : start_places[i - 1][0];
        int y = i == 0 ? 100 : start_places[i - 1][1];
        t->scene.push_back({&p, x, y});
    }
    return true;
}

bool toy_launch(toy* t, env_list env, std::string* why) {
    std::string missing, sdl = requested_sdl(&missing);
    if (!sdl.empty())
        env.push_back({"LD_LIBRARY_PATH", sdl});
    std::string binary = DRESSUP_BINARY;
    uid_t as = 0;
    if (t->unprivileged && geteuid() == 0) {
        // nobody may not reach the build (a clone in root's private home), so it runs a copy.
        binary = t->dir + "/dressup";
        std::error_code failed;
        std::filesystem::copy_file(DRESSUP_BINARY, binary, failed);
        if (failed || chmod(t->dir.c_str(), 0755) != 0) {
            *why = "cannot copy the toy where nobody can run it";
            return false;
        }
        as = nobody;
    }
    t->program = start_program({binary}, t->dir, env, as);
    return true;
}

bool toy_start(toy* t, const std::vector<test_picture>& pictures, std::string* why) {
    if (!toy_prepare(t, pictures, why))
        return false;
    if (!xserver_start(&t->x)) {
        *why = "Xvfb did not start";
        return false;
    }
    if (!toy_launch(t, {{"DISPLAY", t->x.display}, {"SDL_VIDEODRIVER", ""}}, why))
        return false;
    if (!find_window(t->x.dpy, window_w, window_h, frame_deadline_ms, &t->window)) {
        *why = "the toy's window did not appear";
        return false;
    }
    if (wait_for_scene(t, why))
        return true;
    *why = "the first frame: " + *why;
    return false;
}

void toy_stop(toy* t) {
    if (t->program.pid > 0) {
        kill(t->program.pid, SIGKILL);
        wait_child(&t->program, 5000);
    }
    t->program.pid = -1;
    xserver_stop(&t->x);
    remove_tree(t->dir);
}

void toy_move(toy* t, int x, int y) {
    pointer_to(t->x.dpy, t->window.left + x, t->window.top_y + y);
}

void toy_button(toy* t, unsigned button, bool down) {
    press_button(t->x.dpy, button, down);
}

// The frame of t->scene, and how far each pixel may stray: the background is exact, while
// alpha blits may round a channel differently.
static void compose(const toy* t, std::vector<uint32_t>* want, std::vector<uint8_t>* slack) {
    want->assign((size_t)window_w * window_h, 0);
    slack->assign(want->size(), 0);
    for (int y = 0; y < window_h; y++)
        for (int x = 0; x < window_w; x++)
            (*want)[(size_t)y * window_w + x] = background_at(x, y);
    for (const placed& p : t->scene) {
        if (p.picture->missing)
            continue;
        for (int y = std::max(0, p.y); y < std::min(window_h, p.y + p.picture->h); y++) {
            for (int x = std::max(0, p.x); x < std::min(window_w, p.x + p.picture->w); x++) {
                uint32_t& out = (*want)[(size_t)y * window_w + x];
                uint32_t fg = picture_pixel(*p.picture, x - p.x, y - p.y), blend = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    uint32_t f = fg >> shift & 0xFF, b = out >> shift & 0xFF, a = p.picture->alpha;
                    blend |= (f * a + b * (255 - a) + 127) / 255 << shift;
                }
                out = blend;
                (*slack)[(size_t)y * window_w + x] = (uint8_t)std::max(2, p.picture->slack);
            }
        }
    }
    const auto& c = t->covered;
    for (int y = std::max(0, c.y); y < std::min(window_h, c.y + c.h); y++)
        for (int x = std::max(0, c.x); x < std::min(window_w, c.x + c.w); x++)
            (*slack)[(size_t)y * window_w + x] = 255;
}

static int mismatches(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want,
                      const std::vector<uint8_t>& slack, std::string* report) {
    int wrong = 0;
    for (size_t i = 0; i < got.size(); i++) {
        bool ok = true;
        for (int shift = 0; shift < 24; shift += 8)
            ok = ok &&
                 abs((int)(got[i] >> shift & 0xFF) - (int)(want[i] >> shift & 0xFF)) <= slack[i];
        if (!ok && wrong++ < 8 && report) {
            char line[96];
            snprintf(line, sizeof line, "\n  (%zu, %zu): want %06X, got %06X", i % window_w,
                     i / window_w, want[i], got[i]);
            *report += line;
        }
    }
    return wrong;
}

bool wait_for_scene(toy* t, std::string* why) {
    return wait_for_frame(
        t, [t] { return capture(t->x.dpy, t->window.left, t->window.top_y, window_w, window_h); },
        why);
}

bool wait_for_frame(const toy* t, const std::function<std::vector<uint32_t>()>& grab,
                    std::string* why) {
    std::vector<uint32_t> want, got;
    std::vector<uint8_t> slack;
    compose(t, &want, &slack);
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        got = grab();
        if (got.size() == want.size() && mismatches(got, want, slack, nullptr) == 0)
            return true;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if ((now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000 >
            frame_deadline_ms)
            break;
        usleep(10000); // reading the window back costs the toy's processors too
    }
    if (got.size() != want.size()) {
        *why = "no picture of the window could be taken";
        return false;
    }
    std::string report, places;
    int wrong = mismatches(got, want, slack, &report);
    for (const placed& p : t->scene)
        places += std::string("\n  ") + p.picture->file + " at (" + std::to_string(p.x) + ", " +
                  std::to_string(p.y) + ")";
    *why = "the window never showed the expected scene; " + std::to_string(wrong) +
           " pixels differ, among them:" + report + "\nexpected places:" + places;
    return false;
}

std::string toy_output(const toy* t) {
    return read_file(t->program.out_path);
}
