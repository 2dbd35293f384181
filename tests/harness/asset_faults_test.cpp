// The shipped program with its assets broken one at a time: each fault reported, the show plays on.
#include "expectations.h"
#include "frame_log.h"
#include "program_run.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

// Coarse enough for a short run, fine enough that every scene draws a frame.
const char* const showStepMs = "12000";

enum class AssetKind { image, music, fontDescriptor };

struct AssetFile {
    std::string path; // relative to the working directory, as the program opens it
    AssetKind kind;
};

const std::vector<AssetFile> assetFiles = {
    {"dada/suikelois", AssetKind::image},          {"dada/sumuuh", AssetKind::image},
    {"dada/astiasto.lentokone", AssetKind::image}, {"dada/aerosoli", AssetKind::image},
    {"dada/delfiini.kalako", AssetKind::music},    {"dada/lokki", AssetKind::fontDescriptor},
};

enum class Fault { missing, empty, truncated, randomBytes, otherKind, directory };

// The fault in words, for the trace of a failing check.
std::string faultName(Fault fault)
{
    switch (fault) {
    case Fault::missing: return "missing";
    case Fault::empty: return "empty";
    case Fault::truncated: return "cut in half";
    case Fault::randomBytes: return "random bytes";
    case Fault::otherKind: return "a file of another kind";
    case Fault::directory: return "a directory";
    }
    return "?";
}

// The whole file as bytes; empty when it cannot be read.
std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Replaces the file's contents with the bytes.
void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

// The good contents of an asset, by the path the program opens it with.
std::string builtAsset(const std::string& relativePath)
{
    return readFile(builtAssetsDir() + "/" + relativePath.substr(std::string("dada/").size()));
}

// The same bytes on every run and every machine: the engine's output is fixed by the standard.
std::string randomBytes(size_t count)
{
    std::mt19937 engine(20160214u);
    std::string bytes;
    for (size_t i = 0; i < count; ++i) {
        bytes += static_cast<char>(engine() & 0xFFu);
    }
    return bytes;
}

// A well-formed file that belongs in another slot: music for an image, an
// image for the music and the font page for its descriptor.
std::string otherKindOf(const AssetFile& asset)
{
    switch (asset.kind) {
    case AssetKind::image: return builtAsset("dada/delfiini.kalako");
    case AssetKind::music: return builtAsset("dada/suikelois");
    case AssetKind::fontDescriptor: return builtAsset("dada/aerosoli");
    }
    return "";
}

// Breaks the sandbox's copy of the asset in the given way.
void breakAsset(const Sandbox& sandbox, const AssetFile& asset, Fault fault)
{
    const std::string path = sandbox.workDir + "/" + asset.path;
    const std::string good = builtAsset(asset.path);
    switch (fault) {
    case Fault::missing: std::filesystem::remove(path); break;
    case Fault::empty: writeFile(path, ""); break;
    case Fault::truncated: writeFile(path, good.substr(0, good.size() / 2)); break;
    case Fault::randomBytes: writeFile(path, randomBytes(4096)); break;
    case Fault::otherKind: writeFile(path, otherKindOf(asset)); break;
    case Fault::directory:
        std::filesystem::remove(path);
        std::filesystem::create_directory(path);
        break;
    }
}

// True when the bytes start with a JPEG start-of-image marker.
bool isJpeg(const std::string& bytes)
{
    return bytes.size() > 3 && bytes.compare(0, 3, "\xFF\xD8\xFF") == 0;
}

// What the program prints for the broken file. Two halves still load: a JPEG
// decoder fills the rows it never got, and an Ogg Vorbis stream keeps its
// headers at the start. A font descriptor that opens but holds no glyph
// lines is not an error either: it just gives no glyphs.
std::string expectedReport(const AssetFile& asset, Fault fault)
{
    switch (asset.kind) {
    case AssetKind::image:
        return fault == Fault::truncated && isJpeg(builtAsset(asset.path))
                   ? ""
                   : imageFailureText(asset.path);
    case AssetKind::music: return fault == Fault::truncated ? "" : musicFailureText();
    case AssetKind::fontDescriptor:
        return fault == Fault::missing || fault == Fault::directory ? fontFailureText() : "";
    }
    return "";
}

// Runs the whole show in the sandbox and checks its report, its clean end and
// that every scene was drawn on the way.
void expectShowWithReport(const Sandbox& sandbox, const std::string& expectedOutput)
{
    const ProgramResult result = runProgram(sandbox, {{"VCLOCK_STEP", showStepMs}});
    expectCleanExit(result);
    EXPECT_TRUE(matchesExpected(result.output, expectedOutput)) << result.output;
    const ProgramLog log = parseProgramLog(result.log);
    expectWholeShow(log);
    EXPECT_EQ(log.frames.front().sceneIndex, 1);
}

// Breaks each of the six assets in turn, alone, and checks each run.
void expectFaultReportedInEachAsset(Fault fault)
{
    for (const AssetFile& asset : assetFiles) {
        SCOPED_TRACE(asset.path + " is " + faultName(fault));
        const Sandbox sandbox = makeSandbox();
        copyBuiltAssets(sandbox.workDir);
        breakAsset(sandbox, asset, fault);
        expectShowWithReport(sandbox, expectedReport(asset, fault));
        removeSandbox(sandbox);
    }
}

// A PNG wider than any OpenGL implementation's largest texture (16384 with
// Mesa's llvmpipe, 32768 on the largest GPUs), a few rows high.
void writeOversizedPng(const std::string& path)
{
    constexpr int width = 70000;
    constexpr int height = 8;
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGBA32);
    ASSERT_NE(surface, nullptr) << SDL_GetError();
    SDL_FillRect(surface, nullptr, SDL_MapRGBA(surface->format, 200, 40, 40, 255));
    const int saved = IMG_SavePNG(surface, path.c_str());
    SDL_FreeSurface(surface);
    ASSERT_EQ(saved, 0) << SDL_GetError();
}

} // namespace

TEST(ProgramAssetFaults, GoodAssetsLoadSilently)
{
    const Sandbox sandbox = makeSandbox();
    copyBuiltAssets(sandbox.workDir);
    expectShowWithReport(sandbox, "");
    removeSandbox(sandbox);
}

TEST(ProgramAssetFaults, EachMissingFileIsReportedAlone)
{
    expectFaultReportedInEachAsset(Fault::missing);
}

TEST(ProgramAssetFaults, AllSixMissingFromTheFolderAreReportedInOrder)
{
    const Sandbox sandbox = makeSandbox();
    std::filesystem::create_directories(sandbox.workDir + "/dada");
    expectShowWithReport(sandbox, loadFailureText(true));
    removeSandbox(sandbox);
}

TEST(ProgramAssetFaults, EachEmptyFileIsReportedAlone)
{
    expectFaultReportedInEachAsset(Fault::empty);
}

TEST(ProgramAssetFaults, EachFileCutInHalfIsReportedUnlessItStillDecodes)
{
    expectFaultReportedInEachAsset(Fault::truncated);
}

TEST(ProgramAssetFaults, EachFileOfRandomBytesIsReportedAlone)
{
    expectFaultReportedInEachAsset(Fault::randomBytes);
}

TEST(ProgramAssetFaults, EachFileOfAnotherKindIsReportedAlone)
{
    expectFaultReportedInEachAsset(Fault::otherKind);
}

TEST(ProgramAssetFaults, EachDirectoryInPlaceOfAFileIsReportedAlone)
{
    expectFaultReportedInEachAsset(Fault::directory);
}

TEST(ProgramAssetFaults, ImageLargerThanTheLargestTextureIsReported)
{
    const Sandbox sandbox = makeSandbox();
    copyBuiltAssets(sandbox.workDir);
    writeOversizedPng(sandbox.workDir + "/dada/sumuuh");
    if (!HasFatalFailure()) {
        expectShowWithReport(sandbox, imageFailureText("dada/sumuuh"));
    }
    removeSandbox(sandbox);
}
