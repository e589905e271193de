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
    const char* other = getenv("DRESSUP_TOY"); // another build of it, to compare against
    std::string built = other && *other ? other : DRESSUP_BINARY, binary = built;
    uid_t as = 0;
    if (t->unprivileged && geteuid() == 0) {
        // nobody may not reach the build (a clone in root's private home), so it runs a copy.
        binary = t->dir + "/dressup";
        std::error_code failed;
        std::filesystem::copy_file(built, binary, failed);
        if (failed || chmod(t->dir.c_str(), 0755) != 0) {
            *why = "cannot copy the toy where nobody can run it";
            return false;
        }
        as = nobody;
    }
    t->program = start_program({binary}, t->dir, env, as);
    return true;
}

bool toy_start(toy* t, const std::vector<test_picture>& pictures, std::string* why,
               const env_list& env) {
    if (!toy_prepare(t, pictures, why))
        return false;
    if (!xserver_start(&t->x)) {
        *why = "Xvfb did not start";
        return false;
    }
    env_list all = {{"DISPLAY", t->x.display}, {"WAYLAND_DISPLAY", ""}, {"SDL_VIDEODRIVER", ""}};
    all.insert(all.end(), env.begin(), env.end());
    if (!toy_launch(t, all, why))
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

// rows of the compositor's output from the row top, window_w wide, one pixel for each block
// of pixels on a scaled output.
static std::vector<uint32_t> output_rows(const toy* t, int top, int rows) {
    std::vector<uint32_t> shot = screenshot(t->wayland, 0, top, window_w, rows);
    int scale = t->wayland->scale;
    if (scale == 1 || shot.empty())
        return shot;
    std::vector<uint32_t> pixels((size_t)window_w * rows);
    for (int y = 0; y < rows; y++)
        for (int x = 0; x < window_w; x++)
            pixels[(size_t)y * window_w + x] = shot[((size_t)y * window_w * scale + x) * scale];
    return pixels;
}

// The scene's first row is all background: the first such row on the output is t->top.
static bool find_scene(toy* t, std::string* why) {
    const int most = 100;
    for (int tries = 0; tries < 500; tries++, usleep(20000)) {
        std::vector<uint32_t> shot = output_rows(t, 0, most);
        for (t->top = 0; t->top < most && !shot.empty(); t->top++) {
            int x = 0;
            while (x < window_w && shot[(size_t)t->top * window_w + x] == background_at(x, 0))
                x++;
            if (x == window_w)
                return true;
        }
    }
    *why = "the scene never showed in the output's first rows";
    return false;
}

bool toy_start_wayland(toy* t, compositor* c, const std::vector<test_picture>& pictures,
                       const env_list& env, std::string* why) {
    t->wayland = c;
    t->pointer_x = -100; // outside the window
    // The pointer comes first, so the toy finds it on the seat from the start.
    if (!toy_prepare(t, pictures, why) || !compositor_start(c, why) ||
        !pointer_add(c, 1270, 790, why))
        return false;
    env_list all = compositor_env(c);
    all.insert(all.end(), env.begin(), env.end());
    return toy_launch(t, all, why) && find_scene(t, why) && wait_for_scene(t, why);
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

void toy_move(toy* t, int x, int y, bool wait) {
    t->pointer_x = x;
    t->pointer_y = y;
    if (t->wayland)
        pointer_to(t->wayland, x, t->top + y, wait);
    else
        pointer_to(t->x.dpy, t->window.left + x, t->window.top_y + y, wait);
}

void toy_button(toy* t, unsigned button, bool down) {
    if (t->wayland)
        press_button(t->wayland, button, down);
    else
        press_button(t->x.dpy, button, down);
}

static void add_ns(struct timespec* t, long ns) {
    t->tv_nsec += ns;
    t->tv_sec += t->tv_nsec / 1000000000;
    t->tv_nsec %= 1000000000;
}

double monotonic_ms() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

drag_span fast_drag(toy* t, int motions, int pace, int leg) {
    placed& trousers = t->scene[pant];
    const placed& shoes = t->scene[sabates];
    int x = trousers.x + trousers.picture->w / 2, y = trousers.y + trousers.picture->h / 2;
    toy_move(t, x, y);
    toy_button(t, 1, true);
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    auto paced = [&](int to_x, int to_y) {
        add_ns(&next, 1000000000L / pace);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        toy_move(t, to_x, to_y, false);
    };
    int start_x = x;
    drag_span span = {};
    // Each leg back is five motions shorter, so the drag drifts left: motions lost on the way out
    // and on the way back cannot cancel out.
    for (int i = 0, dx = -1, left = leg; i < motions; i++) {
        if (leg && left-- == 0) {
            dx = -dx;
            left = (dx < 0 ? leg : leg - 5) - 1;
        }
        paced(x += dx, y);
        (i == 0 ? span.first_ms : span.last_ms) = monotonic_ms();
    }
    toy_button(t, 1, false);
    trousers.x += x - start_x;
    for (int i = 0; i < 40; i++) // inside the shoes, clear of the T-shirt over their right end
        paced(shoes.x + 5 + 2 * i, shoes.y + shoes.picture->h / 2);
    return span;
}

double processor_share(const toy* t, int ms) {
    double before = cpu_seconds(t->program.pid);
    usleep(ms * 1000);
    return (cpu_seconds(t->program.pid) - before) * 1000 / ms;
}

env_list probe_updates(int ms, const std::string& log) {
    const char* asan = getenv("ASAN_OPTIONS"); // the library is not built with the sanitizers
    return {{"LD_PRELOAD", UPDATE_PROBE},
            {"DRESSUP_SLOW_UPDATE_MS", std::to_string(ms)},
            {"DRESSUP_UPDATE_LOG", log},
            {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
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
    auto leave_out = [&](int left, int top, int w, int h) {
        for (int y = std::max(0, top); y < std::min(window_h, top + h); y++)
            for (int x = std::max(0, left); x < std::min(window_w, left + w); x++)
                (*slack)[(size_t)y * window_w + x] = 255;
    };
    leave_out(t->covered.x, t->covered.y, t->covered.w, t->covered.h);
    if (t->wayland) // the compositor draws its cursor into the output
        leave_out(t->pointer_x - 8, t->pointer_y - 8, 48, 48);
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

std::vector<uint32_t> window_pixels(const toy* t) {
    if (!t->wayland)
        return capture(t->x.dpy, t->window.left, t->window.top_y, window_w, window_h);
    return output_rows(t, t->top, window_h);
}

bool wait_for_scene(toy* t, std::string* why) {
    std::vector<uint32_t> want, got;
    std::vector<uint8_t> slack;
    compose(t, &want, &slack);
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        got = window_pixels(t);
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

int first_column(const std::vector<uint32_t>& frame, int row, uint32_t rgb) {
    for (int x = 0; x < window_w && (size_t)row * window_w + x < frame.size(); x++)
        if (frame[(size_t)row * window_w + x] == rgb)
            return x;
    return -1;
}
