// The background against the cheapest way to write the same pixels: a plain fill.
#include "draw.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

static SDL_Surface* surface() {
    static SDL_Surface* s =
        SDL_CreateRGBSurface(SDL_SWSURFACE, 1024, 512, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    return s;
}

static void plain_fill(benchmark::State& state) {
    SDL_Surface* s = surface();
    const int w = s->w, h = s->h, pitch = s->pitch; // kept out of the loop, so it vectorizes
    for (auto _ : state) {
        for (int y = 0; y < h; y++)
            std::fill_n((Uint32*)((Uint8*)s->pixels + y * pitch), w, 0x9B9BF4u);
        benchmark::ClobberMemory();
    }
}

static void background_paint(benchmark::State& state) {
    SDL_Surface* s = surface();
    for (auto _ : state) {
        paint_background(s);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(plain_fill)->Unit(benchmark::kMicrosecond)->Repetitions(9);
BENCHMARK(background_paint)->Unit(benchmark::kMicrosecond)->Repetitions(9);

// Keeps each benchmark's median so the ratio can be printed after the table.
struct median_keeper : benchmark::ConsoleReporter {
    median_keeper() : ConsoleReporter(OO_Tabular) {}
    std::map<std::string, double> medians;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.aggregate_name == "median")
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    median_keeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double fill = reporter.medians["plain_fill"], paint = reporter.medians["background_paint"];
    if (fill > 0 && paint > 0)
        printf("background paint / plain fill: %.2f\n", paint / fill);
    return 0;
}
