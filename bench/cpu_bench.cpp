// The program's own CPU time per frame, with the drawing calls stubbed out by
// the recording fake (recording off), and the allocations each frame makes.
// Run from the build folder, so the real glyph table is read from dada/lokki.
#include "counting_allocator.h"
#include "fake_sdl.h"

#include "font/font.h"
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// A moment of each scene, with the heaviest frames of scene 3 and 4.
struct Moment {
    int32_t scene;
    int32_t elapsedMs;
    int32_t sceneMs;
};

constexpr Moment moments[] = {
    {1, 10000, 10000}, {2, 26500, 6499},  {3, 61000, 10999},
    {3, 97000, 46999}, {4, 105000, 4999}, {5, 116800, 2814},
};

void setUpDemo()
{
    resetFake();
    fakeSdl.recording = false;
    demo.texSuikelois = fakeTexture(1);
    demo.texSumuuh = fakeTexture(2);
    demo.texAstiasto = fakeTexture(3);
    demo.texFont = fakeTexture(4);
    fakeSdl.loadableFiles = {"dada/suikelois", "dada/sumuuh", "dada/astiasto.lentokone",
                             "dada/aerosoli", "dada/delfiini.kalako"};
    loadMedia();
    if (demo.glyphs.empty()) {
        fprintf(stderr, "run from the build folder: dada/lokki gave no glyphs\n");
        std::exit(1);
    }
}

void frame(benchmark::State& state)
{
    const Moment& moment = moments[state.range(0)];
    setUpDemo();
    demo.sceneIndex = moment.scene;
    demo.elapsedMs = moment.elapsedMs;
    demo.sceneMs = moment.sceneMs;
    demo.overlayVisible = true;
    renderFrame(); // settles the fake's per-texture state before counting
    const long before = allocationCount();
    for (auto _ : state) {
        renderFrame();
    }
    state.counters["allocs/frame"] = benchmark::Counter(
        static_cast<double>(allocationCount() - before) / static_cast<double>(state.iterations()));
    state.SetLabel("scene " + std::to_string(moment.scene) + " at " +
                   std::to_string(moment.elapsedMs) + " ms, overlay on");
}
BENCHMARK(frame)
    ->DenseRange(0, static_cast<int>(std::size(moments)) - 1)
    ->Unit(benchmark::kMicrosecond);

// A 256-glyph descriptor as a generator writes it, parsed by loadFont.
void loadFont256(benchmark::State& state)
{
    setUpDemo();
    const fs::path home = fs::current_path();
    const fs::path scratch = home / "bench-font";
    fs::create_directories(scratch / "dada");
    {
        std::ofstream out(scratch / "dada" / "lokki");
        out << "info face=\"Bench\" size=36 bold=1\ncommon lineHeight=42 base=34 scaleW=1024 "
               "scaleH=1024 pages=1\npage id=0 file=\"aerosoli\"\nchars count=256\n";
        for (int id = 0; id < 256; ++id) {
            out << "char id=" << id << "   x=" << (id % 16) * 60 << "   y=" << (id / 16) * 60
                << "   width=30    height=42    xoffset=0     yoffset=0     xadvance=30    "
                   "page=0  chnl=15\n";
        }
    }
    fs::current_path(scratch);
    for (auto _ : state) {
        demo.glyphs.clear();
        loadFont();
    }
    state.counters["glyphs"] = static_cast<double>(demo.glyphs.size());
    fs::current_path(home);
    fs::remove_all(scratch);
}
BENCHMARK(loadFont256)->Unit(benchmark::kMicrosecond);

// The longest line the demo draws, with rotation and wave, stubbed drawing.
void drawLongestLine(benchmark::State& state)
{
    setUpDemo();
    const TextStyle style = {{255, 0, 15, 255},
                             false,
                             true,
                             30,
                             -9000.0,
                             3.0,
                             80.0,
                             "technology will continue to make our lives harder and many of "
                             "us will be delighted about it"};
    for (auto _ : state) {
        drawStyledText(1920, 500, 1.2f, style);
    }
    state.counters["glyphs"] = static_cast<double>(style.text.size());
}
BENCHMARK(drawLongestLine)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
