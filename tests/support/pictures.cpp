#include "pictures.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <map>

static uint8_t channel(uint32_t argb, int shift) {
    return (uint8_t)(argb >> shift);
}

// One row in the byte layout the form's colour type and depth call for.
static std::vector<uint8_t> pack_row(const uint32_t* px, int w, png_form form,
                                     const std::map<uint32_t, int>& palette) {
    std::vector<uint8_t> row;
    for (int x = 0; x < w; x++) {
        uint32_t p = px[x];
        uint8_t a = channel(p, 24), r = channel(p, 16), g = channel(p, 8), b = channel(p, 0);
        switch (form) {
        case png_rgba:
        case png_interlaced:
            row.insert(row.end(), {r, g, b, a});
            break;
        case png_rgb:
            row.insert(row.end(), {r, g, b});
            break;
        case png_palette:
        case png_palette_keyed:
            row.push_back((uint8_t)palette.at(p));
            break;
        case png_gray:
            row.push_back(g);
            break;
        case png_gray_alpha:
            row.insert(row.end(), {g, a});
            break;
        case png_rgb16: // each channel twice: the high byte and the low byte
            row.insert(row.end(), {r, r, g, g, b, b});
            break;
        }
    }
    return row;
}

static int color_type(png_form form) {
    switch (form) {
    case png_rgb:
    case png_rgb16:
        return PNG_COLOR_TYPE_RGB;
    case png_palette:
    case png_palette_keyed:
        return PNG_COLOR_TYPE_PALETTE;
    case png_gray:
        return PNG_COLOR_TYPE_GRAY;
    case png_gray_alpha:
        return PNG_COLOR_TYPE_GRAY_ALPHA;
    default:
        return PNG_COLOR_TYPE_RGB_ALPHA;
    }
}

static void write_palette(png_structp png, png_infop info, const std::map<uint32_t, int>& index) {
    std::vector<png_color> colors(index.size());
    std::vector<png_byte> alphas(index.size());
    for (auto& [argb, i] : index) {
        colors[i] = {channel(argb, 16), channel(argb, 8), channel(argb, 0)};
        alphas[i] = channel(argb, 24);
    }
    png_set_PLTE(png, info, colors.data(), (int)colors.size());
    png_set_tRNS(png, info, alphas.data(), (int)alphas.size(), nullptr);
}

bool write_png(const std::string& path, int w, int h, const std::vector<uint32_t>& pixels,
               png_form form) {
    std::map<uint32_t, int> palette;
    if (form == png_palette || form == png_palette_keyed) {
        for (uint32_t p : pixels)
            palette.emplace(p, 0);
        if (form == png_palette_keyed)
            palette.emplace(0, 0); // the library takes it for a colour key
        if (palette.size() > 256)
            return false;
        int i = 0;
        for (auto& entry : palette)
            entry.second = i++;
    }
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    int interlace = form == png_interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE;
    png_set_IHDR(png, info, w, h, form == png_rgb16 ? 16 : 8, color_type(form), interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        write_palette(png, info, palette);
    png_write_info(png, info);
    std::vector<std::vector<uint8_t>> rows;
    std::vector<png_bytep> row_pointers;
    for (int y = 0; y < h; y++)
        rows.push_back(pack_row(&pixels[(size_t)y * w], w, form, palette));
    for (auto& row : rows)
        row_pointers.push_back(row.data());
    png_write_image(png, row_pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return fclose(f) == 0;
}

bool write_solid_png(const std::string& path, int w, int h, uint32_t argb, png_form form) {
    return write_png(path, w, h, std::vector<uint32_t>((size_t)w * h, argb), form);
}

static void put_u32(std::string* out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        *out += (char)(v >> shift);
}

static std::string png_chunk(const char* type, const std::string& data) {
    std::string chunk;
    put_u32(&chunk, (uint32_t)data.size());
    chunk += type + data;
    put_u32(&chunk, (uint32_t)crc32(0, (const Bytef*)chunk.data() + 4, (uInt)chunk.size() - 4));
    return chunk;
}

// Raw deflate of n zero bytes, ending on a full flush or, last, on the final block.
static std::string deflate_zeros(size_t n, bool last) {
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::vector<Bytef> in(n), out(deflateBound(&z, n) + 64);
    z.next_in = in.data();
    z.avail_in = (uInt)n;
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    deflate(&z, last ? Z_FINISH : Z_FULL_FLUSH);
    std::string bytes((const char*)out.data(), z.total_out);
    deflateEnd(&z);
    return bytes;
}

// Every byte of the image data is zero (filter 0, transparent black), so a flushed block of a
// whole number of rows repeats unchanged, and the checksum is known without adding anything up.
bool write_png_bomb(const std::string& path, int w, int h) {
    const int rows_per_block = 256;
    size_t row = 1 + (size_t)w * 4, total = row * h;
    std::string block = deflate_zeros(row * rows_per_block, false);
    std::string idat = "\x78\xDA";
    for (int y = 0; y + rows_per_block <= h; y += rows_per_block)
        idat += block;
    idat += deflate_zeros(row * (h % rows_per_block), true);
    put_u32(&idat, (uint32_t)(total % 65521) << 16 | 1); // Adler-32 of zeros
    std::string ihdr;
    put_u32(&ihdr, (uint32_t)w);
    put_u32(&ihdr, (uint32_t)h);
    ihdr += std::string("\x08\x06\0\0\0", 5); // 8 bits, RGBA, not interlaced
    std::string png = "\x89PNG\r\n\x1A\n" + png_chunk("IHDR", ihdr) + png_chunk("IDAT", idat) +
                      png_chunk("IEND", "");
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
    return fclose(f) == 0 && ok;
}

std::string make_temp_dir() {
    char name[] = "/tmp/dressup-test-XXXXXX";
    return mkdtemp(name) ? name : "";
}

void remove_tree(const std::string& dir) {
    if (dir.rfind("/tmp/dressup-test-", 0) == 0)
        std::system(("chmod -R u+rwx '" + dir + "' && rm -rf '" + dir + "'").c_str());
}
