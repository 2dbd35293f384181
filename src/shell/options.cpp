// Options: the viewer's choices on the command line.
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The viewer's own audio delay goes a second either way at most.
constexpr int32_t maxAudioDelayMs = 1000;
// Digits enough for any delay in range, few enough for strtol to hold.
constexpr size_t maxOptionDigits = 4;

// A whole decimal integer from minimum to maximum, sign allowed; nothing else.
bool parseBoundedInt(const char* text, int32_t minimum, int32_t maximum, int32_t* value)
{
    const char* digits = text[0] == '-' || text[0] == '+' ? text + 1 : text;
    const size_t count = std::strlen(digits);
    if (count == 0 || count > maxOptionDigits || std::strspn(digits, "0123456789") != count) {
        return false;
    }
    const long parsed = std::strtol(text, nullptr, 10);
    if (parsed < minimum || parsed > maximum) {
        return false;
    }
    *value = static_cast<int32_t>(parsed);
    return true;
}

} // namespace

bool parseOptions(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reduce-flashes") == 0) {
            demo.reduceFlashes = true;
        } else if (std::strcmp(argv[i], "--audio-delay") == 0 && i + 1 < argc &&
                   parseBoundedInt(argv[i + 1], -maxAudioDelayMs, maxAudioDelayMs,
                                   &demo.audioDelayMs)) {
            i += 1;
        } else {
            return false;
        }
    }
    return true;
}
