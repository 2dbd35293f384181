// Runs the shipped program in a scratch working directory with the preloaded clock script.
#pragma once

#include <string>
#include <vector>

// One environment variable handed to the program on top of the harness's own.
struct EnvSetting {
    std::string name;
    std::string value;
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

// Runs the program once in the sandbox, headless on the current X display,
// with the clock script and the extra settings, and waits for its end (or
// kills it after timeoutSeconds).
ProgramResult runProgram(const Sandbox& sandbox, const std::vector<EnvSetting>& settings,
                         int timeoutSeconds = 30);

// Runs the program in a fresh sandbox that holds nothing but the given files
// (relative path, contents), then removes the sandbox.
ProgramResult runInFreshSandbox(const std::vector<EnvSetting>& settings,
                                const std::vector<SandboxFile>& files = {});
