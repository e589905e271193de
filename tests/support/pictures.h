// Picture files for tests, written with libpng so every PNG form can be made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum png_form {
    png_rgba,
    png_rgb,
    png_palette,
    png_palette_keyed, // a palette with one more colour, unused and wholly transparent
    png_gray,
    png_gray_alpha,
    png_rgb16,
    png_interlaced
};

// Pixels are 0xAARRGGBB, row by row. Grey forms keep only the green channel.
bool write_png(const std::string& path, int w, int h, const std::vector<uint32_t>& pixels,
               png_form form);

// One colour all over.
bool write_solid_png(const std::string& path, int w, int h, uint32_t argb, png_form form);

// A PNG of about a megabyte that declares w x h transparent RGBA pixels and holds them all:
// what decodes to gigabytes from a small download.
bool write_png_bomb(const std::string& path, int w, int h);

// A fresh empty folder under /tmp, removed by remove_tree.
std::string make_temp_dir();
void remove_tree(const std::string& dir);
