// How fast a mouse the toy keeps up with, and what it costs. On X11 (Xvfb) and on native Wayland
// (the tests' headless sway), with the display's own window update and with one made 25 ms
// slower, as without a GPU; the toy's window updates are timed in the toy by a preloaded library.
// - The drag rate: 600 one-pixel motions at a set pace, the release, then motions with no button
//   held, after which the dragged picture must stand where the motions put it and nothing else
//   may have moved; the fastest pace at which that holds, as at every slower one.
// - Held drags: thousands of one-pixel motions to and fro, the same checks, and the toy's share
//   of a processor, the frames it showed a second and the longest time without one meanwhile.
// - At rest: the toy's share of a processor with nothing happening.
// DRESSUP_TOY names another build of the toy to measure instead: figures before a change.
#include "e2e/toy.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

const int motions = 600;
const int paces[] = {125, 250, 500, 1000, 2000, 4000, 8000};
const int slower_ms = 25;
const int leg = 100; // a held drag's motions to the left, then five fewer back
const int rest_ms = 30000; // the process clock counts in 10 ms ticks

struct outcome {
    bool exact;    // the window shows the scene the motions made
    int trousers;  // where the trousers stand
    bool released; // the shoes stayed where they were
};

// Where the harness itself failed, which is no rate.
[[noreturn]] static void harness_failed(const std::string& why) {
    fprintf(stderr, "drag_rate: %s\n", why.c_str());
    exit(1);
}

// The toy, up and showing its first frame, its window updates logged to log/updates.
static void start(toy* t, compositor* c, bool wayland, bool slowed, const std::string& log) {
    static const std::vector<test_picture> pictures = standard_pictures(); // the scene's
    std::string why;
    env_list env = probe_updates(slowed ? slower_ms : 0, log + "/updates");
    bool up =
        wayland ? toy_start_wayland(t, c, pictures, env, &why) : toy_start(t, pictures, &why, env);
    if (!up)
        harness_failed(why);
}

static void stop(toy* t, compositor* c) {
    toy_stop(t);
    compositor_stop(c);
}

// Where the drag left the trousers, and whether the shoes stayed: the whole frame if it is the
// expected one, else the picture's edges on row 20 (the trousers' top band and nothing else) and
// row 160 (the shoes').
static outcome check(toy* t, int shoes_x) {
    std::string why;
    if (wait_for_scene(t, &why))
        return {true, t->scene[pant].x, true};
    std::vector<uint32_t> frame = window_pixels(t);
    int trousers = first_column(frame, 20, t->scene[pant].picture->top);
    if (trousers < 0)
        harness_failed("the trousers are not on row 20: " + why);
    return {false, trousers, first_column(frame, 160, t->scene[sabates].picture->top) == shoes_x};
}

// When each window update started, in CLOCK_MONOTONIC milliseconds, and how long it took.
struct update {
    double at, took;
};

static std::vector<update> read_updates(const std::string& log) {
    std::istringstream lines(read_file(log + "/updates"));
    std::vector<update> all;
    for (update u; lines >> u.at >> u.took;)
        all.push_back(u);
    return all;
}

// One drag of 600 motions at the pace; the toy's window updates, in milliseconds, go into took.
static outcome drag_at(bool wayland, int pace, bool slowed, std::vector<double>* took) {
    toy t = {};
    compositor c = {};
    std::string log = make_temp_dir();
    start(&t, &c, wayland, slowed, log);
    int start_x = t.scene[pant].x, shoes_x = t.scene[sabates].x;
    fast_drag(&t, motions, pace);
    outcome result = check(&t, shoes_x);
    result.trousers = start_x - result.trousers; // the motions applied
    stop(&t, &c);
    std::vector<update> updates = read_updates(log);
    for (size_t i = 1; i < updates.size(); i++) // the first is the start-up frame's
        took->push_back(updates[i].took);
    remove_tree(log);
    return result;
}

static const char* display_name(bool wayland) {
    return wayland ? "native Wayland (headless sway)" : "X11 (Xvfb)";
}

// One display, one kind of update: the fastest pace at which, as at every slower one, every
// motion was applied and the release kept; and how long the updates took meanwhile.
static void measure(const char* sdl, bool wayland, bool slowed) {
    int best = 0;
    bool none_lost = true;
    std::string detail;
    std::vector<double> took;
    for (int pace : paces) {
        outcome o = drag_at(wayland, pace, slowed, &took);
        detail += " " + std::to_string(pace) + "/s: " + std::to_string(o.trousers) +
                  (o.released ? "" : ", release lost") + ";";
        none_lost = none_lost && o.exact;
        if (none_lost)
            best = pace;
    }
    if (took.empty())
        harness_failed("the toy's window updates were not timed");
    std::sort(took.begin(), took.end());
    double median = took[took.size() / 2], longest = took.back();
    printf("drag rate on %s, %s, %s updates: every motion applied and the release kept up to "
           "%d/s, %.1f motions per update (one update: %.2f ms median, %.1f ms longest; applied "
           "of %d:%s)\n",
           sdl, display_name(wayland), slowed ? "25 ms slower" : "its own", best,
           best * median / 1000, median, longest, motions, detail.c_str());
    fflush(stdout);
}

// The frames shown while the drag's motions came, and the longest time between two, counting
// from the first motion to the first frame after the last.
static void frames_during(const std::vector<update>& updates, drag_span span, double* per_second,
                          double* longest_gap) {
    double last = span.first_ms;
    int shown = 0;
    *longest_gap = 0;
    for (const update& u : updates) {
        if (u.at < span.first_ms)
            continue;
        *longest_gap = std::max(*longest_gap, u.at - last);
        last = u.at;
        if (u.at > span.last_ms)
            break;
        shown++;
    }
    if (last <= span.last_ms) // no frame after the last motion
        *longest_gap = std::max(*longest_gap, monotonic_ms() - last);
    *per_second = shown * 1000 / std::max(1.0, span.last_ms - span.first_ms);
}

// A drag held for seconds, to and fro, and what it cost.
static void held_drag(const char* sdl, bool wayland, int count, int pace, bool slowed) {
    toy t = {};
    compositor c = {};
    std::string log = make_temp_dir();
    start(&t, &c, wayland, slowed, log);
    int shoes_x = t.scene[sabates].x;
    double cpu = cpu_seconds(t.program.pid), from = monotonic_ms();
    drag_span span = fast_drag(&t, count, pace, leg);
    double share = (cpu_seconds(t.program.pid) - cpu) * 1000 / (monotonic_ms() - from);
    outcome o = check(&t, shoes_x);
    stop(&t, &c);
    double per_second, longest_gap;
    frames_during(read_updates(log), span, &per_second, &longest_gap);
    remove_tree(log);
    int off = abs(t.scene[pant].x - o.trousers);
    std::string result = o.exact    ? "every motion applied"
                         : off == 0 ? "every motion applied, but the release lost"
                                    : "motions lost (off by " + std::to_string(off) + " px" +
                                          (o.released ? ")" : ", release lost)");
    printf("held drag on %s, %s, %s updates: %d motions to and fro at %d/s: %s; %.0f %% of a "
           "core, %.0f frames a second, at most %.0f ms without one\n",
           sdl, display_name(wayland), slowed ? "25 ms slower" : "its own", count, pace,
           result.c_str(), share * 100, per_second, longest_gap);
    fflush(stdout);
}

// The toy's share of a processor with nothing happening, once its first frame is up; then how
// soon a stop signal ends it.
static void at_rest(const char* sdl, bool wayland) {
    toy t = {};
    compositor c = {};
    std::string log = make_temp_dir();
    start(&t, &c, wayland, false, log);
    usleep(500000); // its decoding helpers gone, and whatever the library does once at start
    double share = processor_share(&t, rest_ms);
    double from = monotonic_ms();
    kill(t.program.pid, SIGTERM);
    int status = wait_child(&t.program, 10000);
    double stopped = monotonic_ms() - from;
    t.program.pid = -1; // reaped
    stop(&t, &c);
    remove_tree(log);
    printf("at rest on %s, %s: %.1f %% of a core over %d s; a stop signal ended it in %.0f ms, "
           "status %d\n",
           sdl, display_name(wayland), share * 100, rest_ms / 1000, stopped, status);
    fflush(stdout);
}

static void everything(const char* sdl, bool wayland) {
    at_rest(sdl, wayland);
    held_drag(sdl, wayland, 4000, 1000, false);
    held_drag(sdl, wayland, 16000, 8000, false);
    held_drag(sdl, wayland, 4000, 1000, true);
    for (bool slowed : {false, true})
        measure(sdl, wayland, slowed);
}

int main() {
    std::string missing;
    const char* sdl = requested_sdl(&missing).empty() ? "system SDL 1.2" : "sdl12-compat";
    if (!missing.empty())
        harness_failed(missing);
    const char* other = getenv("DRESSUP_TOY");
    if (other && *other)
        printf("the toy measured: %s\n", other);
    everything(sdl, false);
    std::string why = compositor_missing();
    if (why.empty() && !on_sdl12_compat())
        why = "classic SDL 1.2 has no Wayland driver";
    if (!why.empty()) {
        printf("drag rate on native Wayland not measured: %s\n", why.c_str());
        return 0;
    }
    everything(sdl, true);
    return 0;
}
