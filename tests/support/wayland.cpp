#include "wayland.h"

#include "pictures.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

// Headless, drawn in memory, no input devices and no X server: only Wayland clients reach it.
static const char* const sway_config = R"(xwayland disable
default_border none
default_floating_border none
for_window [app_id=".*"] floating enable, border none, move position 0 0
)";

static bool on_path(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string compositor_missing() {
    for (const char* program : {"sway", "swaymsg", "grim"}) {
        if (!on_path(program))
            return std::string(program) + " is not installed: no Wayland compositor to try";
    }
    return "";
}

// The names of its two sockets, once sway has made them.
static bool find_sockets(compositor* c) {
    std::error_code failed;
    for (const auto& entry : std::filesystem::directory_iterator(c->runtime_dir, failed)) {
        std::string name = entry.path().filename();
        if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos)
            c->display = name;
        if (name.rfind("sway-ipc.", 0) == 0)
            c->ipc = entry.path();
    }
    return !c->display.empty() && !c->ipc.empty();
}

bool compositor_start(compositor* c, std::string* why) {
    c->runtime_dir = make_temp_dir(); // private, as a runtime folder must be
    c->scale = std::max(c->scale, 1);
    std::ofstream(c->runtime_dir + "/config")
        << sway_config << "output HEADLESS-1 position 0 0 resolution " << 1280 * c->scale << "x"
        << 800 * c->scale << " scale " << c->scale << "\n";
    // Older sway refuses to run as root; root's clients can reach nobody's sockets anyway.
    uid_t as = geteuid() == 0 ? nobody : 0;
    if (as && chown(c->runtime_dir.c_str(), as, as) != 0) {
        *why = "cannot hand the runtime folder to nobody";
        return false;
    }
    c->sway = start_program({"sway", "-c", c->runtime_dir + "/config"}, c->runtime_dir,
                            {{"XDG_RUNTIME_DIR", c->runtime_dir},
                             {"WLR_BACKENDS", "headless"},
                             {"WLR_RENDERER", "pixman"},
                             {"WLR_LIBINPUT_NO_DEVICES", "1"},
                             {"DISPLAY", ""},
                             {"WAYLAND_DISPLAY", ""}},
                            as);
    for (int waited = 0; waited < 10000; waited += 10) {
        if (find_sockets(c) && compositor_command(c, "nop") == 0)
            return true;
        usleep(10000);
    }
    *why = "sway did not start: " + read_file(c->sway.err_path);
    return false;
}

void compositor_stop(compositor* c) {
    if (c->client)
        wl_display_disconnect(c->client);
    c->client = nullptr;
    if (c->sway.pid > 0) {
        kill(c->sway.pid, SIGTERM);
        wait_child(&c->sway, 5000);
    }
    c->sway.pid = -1;
    remove_tree(c->runtime_dir);
}

env_list compositor_env(const compositor* c) {
    return {{"XDG_RUNTIME_DIR", c->runtime_dir}, {"WAYLAND_DISPLAY", c->display}, {"DISPLAY", ""}};
}

static std::string environment(const compositor* c) {
    return "XDG_RUNTIME_DIR='" + c->runtime_dir + "' WAYLAND_DISPLAY='" + c->display +
           "' SWAYSOCK='" + c->ipc + "' ";
}

int compositor_command(const compositor* c, const std::string& command) {
    int status =
        std::system((environment(c) + "swaymsg -q '" + command + "' >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// grim writes binary PPM: "P6", width, height, 255, then RGB bytes.
std::vector<uint32_t> screenshot(const compositor* c, int x, int y, int w, int h) {
    std::string geometry = std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(w) +
                           "x" + std::to_string(h);
    FILE* pipe =
        popen((environment(c) + "grim -t ppm -g '" + geometry + "' - 2>/dev/null").c_str(), "r");
    if (!pipe)
        return {};
    std::stringstream ppm;
    char chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        ppm.write(chunk, (std::streamsize)n);
    pclose(pipe);
    std::string magic;
    int got_w = 0, got_h = 0, depth = 0;
    ppm >> magic >> got_w >> got_h >> depth;
    ppm.get(); // the one space after the header
    if (magic != "P6" || got_w != w * c->scale || got_h != h * c->scale || depth != 255)
        return {};
    std::vector<uint32_t> pixels((size_t)got_w * got_h);
    for (uint32_t& p : pixels) {
        unsigned char rgb[3];
        if (!ppm.read((char*)rgb, 3))
            return {};
        p = (uint32_t)rgb[0] << 16 | rgb[1] << 8 | rgb[2];
    }
    return pixels;
}

// The requests of wlr-virtual-pointer-unstable-v1 that a mouse makes, in protocol order (the
// index is the opcode), declared here as wayland-scanner would from the protocol's XML.
static const wl_interface* const no_types[5] = {};
static const wl_message pointer_requests[] = {
    {"motion", "uff", (const wl_interface**)no_types},
    {"motion_absolute", "uuuuu", (const wl_interface**)no_types},
    {"button", "uuu", (const wl_interface**)no_types},
    {"axis", "uuf", (const wl_interface**)no_types},
    {"frame", "", (const wl_interface**)no_types},
};
static const wl_interface pointer_interface = {"zwlr_virtual_pointer_v1", 1, 5,
                                               pointer_requests,          0, nullptr};
static const wl_interface* const create_types[] = {&wl_seat_interface, &pointer_interface};
static const wl_message manager_requests[] = {
    {"create_virtual_pointer", "?on", (const wl_interface**)create_types}};
static const wl_interface manager_interface = {
    "zwlr_virtual_pointer_manager_v1", 1, 1, manager_requests, 0, nullptr};
enum { motion_absolute = 1, button = 2, frame = 4 };
const uint32_t output_w = 1280, output_h = 800;

struct globals {
    wl_proxy* seat;
    wl_proxy* manager;
};

static void on_global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                      uint32_t) {
    globals* found = (globals*)data;
    if (std::string(interface) == wl_seat_interface.name && !found->seat)
        found->seat = (wl_proxy*)wl_registry_bind(registry, name, &wl_seat_interface, 1);
    if (std::string(interface) == manager_interface.name)
        found->manager = (wl_proxy*)wl_registry_bind(registry, name, &manager_interface, 1);
}

static void on_global_remove(void*, wl_registry*, uint32_t) {}

bool pointer_add(compositor* c, int x, int y, std::string* why) {
    c->client = wl_display_connect((c->runtime_dir + "/" + c->display).c_str());
    if (!c->client) {
        *why = "cannot connect to the compositor";
        return false;
    }
    globals found = {};
    static const wl_registry_listener listener = {on_global, on_global_remove};
    wl_registry_add_listener(wl_display_get_registry(c->client), &listener, &found);
    wl_display_roundtrip(c->client);
    if (!found.seat || !found.manager) {
        *why = "the compositor offers no virtual pointer";
        return false;
    }
    c->pointer =
        wl_proxy_marshal_flags(found.manager, 0, &pointer_interface, 1, 0, found.seat, nullptr);
    pointer_to(c, x, y);
    return wl_display_get_error(c->client) == 0;
}

static uint32_t now_ms() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

// One event and the frame that ends it, waited for as XSync waits, or only sent.
static void send(compositor* c, bool wait, uint32_t opcode, uint32_t a, uint32_t b, uint32_t d = 0,
                 uint32_t e = 0) {
    wl_proxy_marshal_flags(c->pointer, opcode, nullptr, 1, 0, now_ms(), a, b, d, e);
    wl_proxy_marshal_flags(c->pointer, frame, nullptr, 1, 0);
    if (wait)
        wl_display_roundtrip(c->client);
    else
        wl_display_flush(c->client);
}

void pointer_to(compositor* c, int x, int y, bool wait) {
    send(c, wait, motion_absolute, (uint32_t)x, (uint32_t)y, output_w, output_h);
}

void press_button(compositor* c, unsigned which, bool down) {
    const uint32_t codes[] = {0, 0x110, 0x112, 0x111}; // BTN_LEFT, BTN_MIDDLE, BTN_RIGHT
    send(c, true, button, which < 4 ? codes[which] : 0, down ? 1 : 0);
}
