// Broken and unusual picture files, to feed the toy what a careless folder can hold.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct odd_file {
    const char* name; // what the case is, for messages
    bool (*make)(const std::string& path);
    bool shows;   // drawn, rather than reported by the failure line
    int w, h;     // its size, when drawn
    uint32_t rgb; // and its one colour
    int slack;    // how far a channel may stray: lossy formats; 255 for a cut JPEG
    // Gives the name to another file once the toy has opened it, as a save or a download does.
    bool (*swap)(const std::string& path) = nullptr;
};

std::vector<odd_file> odd_files();

// The case's name as a test name: letters and digits, the rest underscores.
std::string test_name(const odd_file& odd);

// So that GoogleTest names the case rather than dumping its bytes.
inline void PrintTo(const odd_file& odd, std::ostream* out) {
    *out << odd.name;
}
