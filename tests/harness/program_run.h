// Runs the shipped program in a scratch working directory with the preloaded clock script.
#pragma once

#include <string>
#include <vector>

// One environment variable handed to the program on top of the harness's own,
// or, when unset, taken out of the program's environment.
struct EnvSetting {
    std::string name;
    std::string value;
    bool unset = false;
};

// A file placed in the sandbox before the run, by its path relative to the working directory.
struct SandboxFile {
    std::string path;
    std::string text;
};

// A scratch folder: the program's working directory inside it, the call log beside it.
struct Sandbox {
    std::string root;
    std::string workDir;
    std::string logPath;
    std::string program; // the binary to run: the build's own unless a test copied it
    std::vector<std::string> arguments; // after the program's name; none for the demo
};

// What one run of the program left behind.
struct ProgramResult {
    std::string output;           // everything it wrote to standard output
    std::string errors;           // everything it wrote to standard error, for diagnosis
    int exitStatus = -1;          // -1 unless it exited normally
    int signal = 0;               // the signal that ended it, 0 if none
    bool timedOut = false;        // killed by the harness after its time limit
    std::vector<std::string> log; // the lines of the preloaded library's call log
};

// Creates an empty sandbox under the system's temporary folder.
Sandbox makeSandbox();

// Removes the sandbox and everything in it.
void removeSandbox(const Sandbox& sandbox);

// Writes a text file at a path relative to the sandbox's working directory,
// creating the folders on the way.
void writeSandboxFile(const Sandbox& sandbox, const std::string& relativePath,
                      const std::string& text);

// The AddressSanitizer options the harness gives a sanitizer build of the
// program, with more of them after; the setting has no effect on other builds.
EnvSetting asanOptionsWith(const std::string& extraOptions);

// The build's folder of generated assets, the good dada the program ships with.
std::string builtAssetsDir();

// Copies the build's generated assets into a dada folder inside the given
// directory, creating it first.
void copyBuiltAssets(const std::string& intoDir);

// Runs the program once in the sandbox, headless on the current X display,
// with the clock script and the extra settings, and waits for its end (or
// kills it after timeoutSeconds, a limit for a program that hangs: a run of a
// few dozen frames takes seconds, many times that on a heavily loaded machine).
ProgramResult runProgram(const Sandbox& sandbox, const std::vector<EnvSetting>& settings,
                         int timeoutSeconds = 120);

// As runProgram, and sends the program the signal from outside as soon as its
// first frame is in the call log.
ProgramResult runProgramSignalledAfterFirstFrame(const Sandbox& sandbox,
                                                 const std::vector<EnvSetting>& settings,
                                                 int signalNumber, int timeoutSeconds = 120);

// Runs the program in a fresh sandbox that holds nothing but the given files
// (relative path, contents), then removes the sandbox.
ProgramResult runInFreshSandbox(const std::vector<EnvSetting>& settings,
                                const std::vector<SandboxFile>& files = {});
