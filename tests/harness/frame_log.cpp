// Reads the preloaded library's call log back into passes, copies and shutdown calls.
#include "frame_log.h"

#include <cstdio>
#include <sstream>

namespace {

constexpr int glyphWidth = 7;
constexpr int glyphHeight = 13;
constexpr int minusSourceX = 100;
constexpr int overlayPenX = 10;
constexpr int overlayTops[] = {10, 60, 110};

// "x,y,w,h" after its label, or "-" for none.
LoggedRect parseRect(const std::string& field, const std::string& label)
{
    LoggedRect rect;
    const std::string value = field.substr(label.size() + 1);
    rect.present = value != "-" && std::sscanf(value.c_str(), "%d,%d,%d,%d", &rect.x, &rect.y,
                                               &rect.w, &rect.h) == 4;
    return rect;
}

// "C tex=<pointer> src=<rect> dst=<rect> angle=<degrees>".
LoggedCopy parseCopy(const std::string& line)
{
    std::istringstream fields(line.substr(2));
    std::string texture, source, destination, angle;
    fields >> texture >> source >> destination >> angle;
    LoggedCopy copy;
    copy.texture = texture.substr(4);
    copy.source = parseRect(source, "src");
    copy.destination = parseRect(destination, "dst");
    copy.angle = std::stod(angle.substr(6));
    return copy;
}

bool isEmpty(const Frame& frame)
{
    return frame.elapsed.empty() && frame.events.empty() && frame.copies.empty() &&
           frame.clears.empty();
}

// A copy that the overlay could have made: an unscaled, unrotated test glyph
// at one of the three overlay tops.
bool isOverlayGlyph(const LoggedCopy& copy)
{
    const LoggedRect& dst = copy.destination;
    const bool atOverlayTop =
        dst.y == overlayTops[0] || dst.y == overlayTops[1] || dst.y == overlayTops[2];
    return copy.source.present && copy.source.y == 0 && copy.source.w == glyphWidth &&
           copy.source.h == glyphHeight && dst.present && dst.w == glyphWidth &&
           dst.h == glyphHeight && copy.angle == 0.0 && atOverlayTop;
}

char glyphCharacter(const LoggedRect& source)
{
    return source.x == minusSourceX ? '-' : static_cast<char>('0' + source.x / 10);
}

// The trailing copies of the frame that form the overlay, in drawing order:
// collected backwards until the first glyph of the first line.
std::vector<LoggedCopy> trailingOverlayCopies(const Frame& frame)
{
    std::vector<LoggedCopy> copies;
    for (auto copy = frame.copies.rbegin(); copy != frame.copies.rend(); ++copy) {
        if (!isOverlayGlyph(*copy)) {
            break;
        }
        copies.insert(copies.begin(), *copy);
        if (copy->destination.y == overlayTops[0] && copy->destination.x == overlayPenX) {
            break;
        }
    }
    return copies;
}

} // namespace

ProgramLog parseProgramLog(const std::vector<std::string>& lines)
{
    ProgramLog log;
    Frame frame;
    for (const std::string& line : lines) {
        if (line.size() < 1) {
            continue;
        }
        const std::string rest = line.size() > 2 ? line.substr(2) : "";
        switch (line[0]) {
        case 'T': {
            unsigned reading = 0;
            long long elapsed = 0;
            std::sscanf(rest.c_str(), "%u %lld", &reading, &elapsed);
            if (!log.started) {
                log.started = true;
                log.startReading = reading;
            } else {
                frame.readings.push_back(reading);
                frame.elapsed.push_back(elapsed);
            }
            break;
        }
        case 'P':
            frame.presented = true;
            log.frames.push_back(frame);
            frame = Frame();
            break;
        case 'C': frame.copies.push_back(parseCopy(line)); break;
        case 'K': frame.clears.push_back(rest); break;
        case 'E': frame.events.push_back(rest.substr(0, rest.find(' '))); break;
        case 'L': log.lifecycle.push_back(rest); break;
        case 'M': frame.residentKiB = std::stoll(rest); break;
        case 'W': log.writes.push_back(rest); break;
        default: break;
        }
    }
    if (!isEmpty(frame)) {
        log.frames.push_back(frame);
    }
    int sceneIndex = 1;
    for (Frame& each : log.frames) {
        sceneIndex += each.elapsed.size() > 1 ? 1 : 0;
        each.sceneIndex = sceneIndex;
    }
    return log;
}

std::vector<std::string> overlayLines(const Frame& frame)
{
    const std::vector<LoggedCopy> copies = trailingOverlayCopies(frame);
    std::vector<std::string> lines;
    int line = -1;
    int penX = 0;
    for (const LoggedCopy& copy : copies) {
        if (line < 0 || copy.destination.y != overlayTops[line]) {
            ++line;
            penX = overlayPenX;
            lines.emplace_back();
        }
        if (line > 2 || copy.destination.y != overlayTops[line] || copy.destination.x != penX) {
            return {"(copies out of place)"};
        }
        lines.back() += glyphCharacter(copy.source);
        penX += glyphWidth;
    }
    return lines;
}

std::string testFontDescriptor()
{
    std::string text = "info face=\"test\" size=13\ncommon lineHeight=13 pages=1\n";
    for (int digit = 0; digit <= 10; ++digit) {
        const int id = digit < 10 ? '0' + digit : '-';
        text += "char id=" + std::to_string(id) + " x=" + std::to_string(10 * digit) +
                " y=0 width=7 height=13 xoffset=0 yoffset=0 xadvance=7 page=0 chnl=15\n";
    }
    return text;
}

std::vector<int64_t> passTimes(const ProgramLog& log)
{
    std::vector<int64_t> times;
    for (const Frame& frame : log.frames) {
        times.push_back(frame.elapsed.empty() ? -1 : frame.elapsed.front());
    }
    return times;
}

std::vector<int> readingsPerPass(const ProgramLog& log)
{
    std::vector<int> counts;
    for (const Frame& frame : log.frames) {
        counts.push_back(static_cast<int>(frame.elapsed.size()));
    }
    return counts;
}
