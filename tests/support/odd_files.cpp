#include "odd_files.h"

#include "pictures.h"

#include <SDL.h>
#include <jpeglib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <random>

// Colour noise: compresses badly, so a cut lands in the middle of real image data.
static std::vector<uint32_t> noise(int w, int h, uint32_t alpha) {
    std::mt19937 random(7);
    std::vector<uint32_t> pixels((size_t)w * h);
    for (uint32_t& p : pixels)
        p = alpha << 24 | (random() & 0xFFFFFF);
    return pixels;
}

static bool write_bytes(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

static bool cut(const std::string& path, long n) {
    return n >= 0 && truncate(path.c_str(), n) == 0;
}

static bool write_jpeg(const std::string& path) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = 64;
    c.image_height = 48;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(64 * 3);
    for (int y = 0; y < 48; y++) {
        for (int x = 0; x < 64 * 3; x += 3)
            row[x] = 0x20, row[x + 1] = 0x80, row[x + 2] = 0xC0;
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return fclose(f) == 0;
}

static bool write_bmp(const std::string& path) {
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 64, 48, 24, 0xFF0000, 0xFF00, 0xFF, 0);
    bool ok = s && SDL_FillRect(s, nullptr, 0x2080C0) == 0 && SDL_SaveBMP(s, path.c_str()) == 0;
    SDL_FreeSurface(s);
    return ok;
}

// The LZW code stream of a GIF image, packed least significant bit first.
static std::string lzw(const std::vector<uint8_t>& pixels, int min_bits) {
    const int clear = 1 << min_bits, end = clear + 1;
    std::map<std::pair<int, int>, int> table;
    int next = end + 1, bits = min_bits + 1;
    std::string out;
    uint32_t buffer = 0;
    int held = 0;
    auto put = [&](int code) {
        buffer |= (uint32_t)code << held;
        for (held += bits; held >= 8; held -= 8, buffer >>= 8)
            out += (char)(buffer & 0xFF);
    };
    put(clear);
    int prefix = pixels[0];
    for (size_t i = 1; i < pixels.size(); i++) {
        auto found = table.find({prefix, pixels[i]});
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        put(prefix);
        if (next < 4096) {
            table[{prefix, pixels[i]}] = next++;
            if (next > (1 << bits) && bits < 12)
                bits++;
        }
        prefix = pixels[i];
    }
    put(prefix);
    put(end);
    if (held > 0)
        out += (char)(buffer & 0xFF);
    return out;
}

static bool write_gif(const std::string& path) {
    const int w = 64, h = 48;
    std::vector<uint8_t> pixels((size_t)w * h);
    std::mt19937 random(5);
    for (uint8_t& p : pixels)
        p = (uint8_t)(random() % 16);
    std::string gif = "GIF89a";
    auto u16 = [&](int v) { gif += (char)(v & 0xFF), gif += (char)(v >> 8); };
    u16(w), u16(h);
    gif += std::string("\xF3\0\0", 3); // a global table of 16 colours
    for (int i = 0; i < 16; i++)
        gif += std::string({(char)(i * 16), (char)(255 - i * 16), (char)(i * 8)});
    gif += std::string("\x21\xF9\x04\0\0\0\0\0", 8); // graphic control extension
    gif += ",";
    u16(0), u16(0), u16(w), u16(h);
    gif += std::string("\0\x04", 2); // no local table; 4-bit pixels
    std::string codes = lzw(pixels, 4);
    for (size_t at = 0; at < codes.size(); at += 255) {
        std::string block = codes.substr(at, 255);
        gif += (char)block.size() + block;
    }
    gif += std::string("\0;", 2);
    return write_bytes(path, gif);
}

// XPM is text: a header, a colour table and a quoted string per row.
static bool write_xpm(const std::string& path) {
    std::string xpm = "/* XPM */\nstatic char *shirt[] = {\n\"64 48 2 1\",\n";
    xpm += "\". c #2080C0\",\n\"# c #C08020\",\n";
    for (int y = 0; y < 48; y++)
        xpm += "\"" + std::string(32, '.') + std::string(32, '#') + "\",\n";
    return write_bytes(path, xpm + "};\n");
}

// The colour of every picture that should show, and the grey the grey forms keep of it.
const uint32_t shown = 0x2080C0, grey = 0x808080;

static bool solid(const std::string& p, int w, int h, png_form form) {
    return write_solid_png(p, w, h, 0xFF000000 | shown, form);
}

static bool solid(const std::string& p, png_form form) {
    return solid(p, 64, 48, form);
}

static bool cut_png(const std::string& p, long n) {
    return write_png(p, 64, 48, noise(64, 48, 0xFF), png_rgba) && cut(p, n);
}

static long file_size(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? (long)st.st_size : -1;
}

// A palette PNG holds PLTE and then tRNS before its data; a cut right after an ancillary
// chunk like tRNS, or inside it, is what makes the library loop.
static long after_trns(int colours) {
    return 8 + 25 + (12 + 3 * colours) + (12 + colours);
}

// Renamed over the picture, as an editor's save or a finished download is: a file that makes
// the library loop forever.
static bool swap_in_a_loop(const std::string& p) {
    std::string other = p + ".part";
    return solid(other, png_palette) && cut(other, after_trns(1)) &&
           rename(other.c_str(), p.c_str()) == 0;
}

// A file the toy must report rather than show.
static odd_file refused(const char* name, bool (*make)(const std::string&)) {
    return {name, make, false, 0, 0, 0, 0};
}

std::vector<odd_file> odd_files() {
    return {
        refused("missing", [](const std::string&) { return true; }),
        refused("empty", [](const std::string& p) { return write_bytes(p, ""); }),
        refused("PNG cut to 4 bytes", [](const std::string& p) { return cut_png(p, 4); }),
        refused("PNG cut inside its header", [](const std::string& p) { return cut_png(p, 20); }),
        refused("PNG cut inside its data", [](const std::string& p) { return cut_png(p, 5000); }),
        refused(
            "palette PNG cut right after an ancillary chunk",
            [](const std::string& p) { return solid(p, png_palette) && cut(p, after_trns(1)); }),
        refused("palette PNG cut inside an ancillary chunk",
                [](const std::string& p) {
                    return solid(p, png_palette) && cut(p, after_trns(1) - 3);
                }),
        refused("interlaced PNG cut inside its data",
                [](const std::string& p) {
                    return write_png(p, 64, 48, noise(64, 48, 0xFF), png_interlaced) &&
                           cut(p, 5000);
                }),
        {"PNG without its end chunk",
         [](const std::string& p) { return solid(p, png_rgb) && cut(p, file_size(p) - 12); }, true,
         64, 48, shown, 2},
        refused("GIF cut inside an extension",
                [](const std::string& p) { return write_gif(p) && cut(p, 13 + 48 + 3); }),
        refused("XPM cut inside its rows",
                [](const std::string& p) { return write_xpm(p) && cut(p, file_size(p) - 500); }),
        {"JPEG cut inside its data",
         [](const std::string& p) { return write_jpeg(p) && cut(p, file_size(p) - 20); }, true, 64,
         48, shown, 255},
        refused("BMP cut inside its data",
                [](const std::string& p) { return write_bmp(p) && cut(p, 2000); }),
        refused("random bytes",
                [](const std::string& p) {
                    std::mt19937 random(11);
                    std::string bytes(4096, 0);
                    for (char& c : bytes)
                        c = (char)random();
                    return write_bytes(p, bytes);
                }),
        refused("text",
                [](const std::string& p) { return write_bytes(p, "a shirt, blue, size 6\n"); }),
        refused("a folder", [](const std::string& p) { return mkdir(p.c_str(), 0755) == 0; }),
        refused("a FIFO", [](const std::string& p) { return mkfifo(p.c_str(), 0644) == 0; }),
        refused("unreadable",
                [](const std::string& p) { return solid(p, png_rgb) && chmod(p.c_str(), 0) == 0; }),
        {"6000 x 6000", [](const std::string& p) { return solid(p, 6000, 6000, png_rgb); }, true,
         6000, 6000, shown, 0},
        {"1 x 1", [](const std::string& p) { return solid(p, 1, 1, png_rgba); }, true, 1, 1, shown,
         2},
        refused("20000 x 2: rows longer than 65535 bytes",
                [](const std::string& p) { return solid(p, 20000, 2, png_rgba); }),
        refused("70000 x 1: wider than 65535 pixels",
                [](const std::string& p) { return solid(p, 70000, 1, png_rgb); }),
        refused("40000 x 2 palette PNG: wider than 32767",
                [](const std::string& p) { return solid(p, 40000, 2, png_palette); }),
        refused("2 x 40000: taller than 32767",
                [](const std::string& p) { return solid(p, 2, 40000, png_rgb); }),
        refused("16000 x 16000 PNG bomb: 1 GB from 1 MB",
                [](const std::string& p) { return write_png_bomb(p, 16000, 16000); }),
        refused("16383 x 32767 PNG bomb: 2 GB, the most SDL 1.2 takes",
                [](const std::string& p) { return write_png_bomb(p, 16383, 32767); }),
        {"palette PNG", [](const std::string& p) { return solid(p, png_palette); }, true, 64, 48,
         shown, 0},
        {"palette PNG with a colour key",
         [](const std::string& p) { return solid(p, png_palette_keyed); }, true, 64, 48, shown, 0},
        {"RGB PNG replaced by a looping one once opened",
         [](const std::string& p) { return solid(p, png_rgb); }, true, 64, 48, shown, 0,
         swap_in_a_loop},
        {"grey PNG", [](const std::string& p) { return solid(p, png_gray); }, true, 64, 48, grey,
         0},
        {"grey and alpha PNG", [](const std::string& p) { return solid(p, png_gray_alpha); }, true,
         64, 48, grey, 2},
        {"16-bit PNG", [](const std::string& p) { return solid(p, png_rgb16); }, true, 64, 48,
         shown, 0},
        {"interlaced PNG", [](const std::string& p) { return solid(p, png_interlaced); }, true, 64,
         48, shown, 2},
        {"RGBA PNG", [](const std::string& p) { return solid(p, png_rgba); }, true, 64, 48, shown,
         2},
        {"JPEG under a .png name", write_jpeg, true, 64, 48, shown, 8},
        {"BMP under a .png name", write_bmp, true, 64, 48, shown, 0},
    };
}

std::string test_name(const odd_file& odd) {
    std::string name;
    for (const char* c = odd.name; *c; c++)
        name += isalnum((unsigned char)*c) ? *c : '_';
    return name;
}
