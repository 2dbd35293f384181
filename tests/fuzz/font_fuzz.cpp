// libFuzzer target: any bytes as the font descriptor, then text drawn with
// the glyphs they gave; must stay clean under ASan and UBSan.
#include "fake_sdl.h"

#include "font/font.h"
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // loadFont reads dada/lokki from the working directory: give it its own.
    char scratch[] = "/tmp/font_fuzz_XXXXXX";
    if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0 || mkdir("dada", 0700) != 0) {
        abort();
    }
    fakeSdl.recording = false;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* file = fopen("dada/lokki", "wb");
    if (file == nullptr) {
        abort();
    }
    fwrite(data, 1, size, file);
    fclose(file);
    demo.glyphs.clear();
    fakeSdl.mods.clear();
    loadFont();

    // The last bytes, as text, through both text routines with a wave.
    const std::string text(reinterpret_cast<const char*>(data) + size - std::min<size_t>(size, 24),
                           std::min<size_t>(size, 24));
    const TextStyle style = {{255, 0, 15, 255}, true, true, 350, -4000.0, -400.0, 20.0, text};
    drawStyledText(-1380, 440, 1.6f, style);
    drawDebugText(text, 110);
    return 0;
}
