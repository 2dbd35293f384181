// Runs the shipped program as a child process and collects its output, status and call log.
#include "program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace {

// Settings of the parent's environment that would change what the program
// sees; the harness sets its own values instead.
bool isHarnessSetting(const std::string& entry)
{
    const std::string name = entry.substr(0, entry.find('='));
    return name.rfind("VCLOCK_", 0) == 0 || name == "LD_PRELOAD" || name == "SDL_VIDEODRIVER" ||
           name == "SDL_AUDIODRIVER" || name == "WAYLAND_DISPLAY" || name == "ASAN_OPTIONS";
}

// For an AddressSanitizer build of the program: its runtime refuses to start
// when a preloaded library comes before it, and the shim must come first; and
// the system's display and audio libraries leak on exit (D-Bus, Mesa), which
// the leak checker would turn into a failed exit status.
std::string sanitizerOptions()
{
    const char* inherited = std::getenv("ASAN_OPTIONS");
    const std::string harnessOptions = "verify_asan_link_order=0:detect_leaks=0";
    return inherited != nullptr && *inherited != '\0'
               ? std::string(inherited) + ":" + harnessOptions
               : harnessOptions;
}

// The child's environment: the parent's display and paths, the shim, the
// silent audio driver and the test's own settings, which win.
std::vector<std::string> childEnvironment(const Sandbox& sandbox,
                                          const std::vector<EnvSetting>& settings)
{
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!isHarnessSetting(*entry)) {
            entries.emplace_back(*entry);
        }
    }
    entries.push_back(std::string("LD_PRELOAD=") + VCLOCK_LIBRARY);
    entries.push_back("SDL_AUDIODRIVER=dummy");
    entries.push_back("ASAN_OPTIONS=" + sanitizerOptions());
    entries.push_back("VCLOCK_LOG=" + sandbox.logPath);
    for (const EnvSetting& setting : settings) {
        entries.push_back(setting.name + "=" + setting.value);
    }
    return entries;
}

std::string errorsPath(const Sandbox& sandbox)
{
    return sandbox.root + "/stderr.txt";
}

// In the forked child: becomes the program, writing standard output to the
// pipe and standard error to a file in the sandbox. Never returns.
[[noreturn]] void execProgram(const Sandbox& sandbox, int outputFd,
                              std::vector<std::string>& environment)
{
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    char programName[] = "demo";
    char* argv[] = {programName, nullptr};
    const std::string errorPath = errorsPath(sandbox);
    const int errorFd = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (chdir(sandbox.workDir.c_str()) != 0 || dup2(outputFd, STDOUT_FILENO) < 0 || errorFd < 0 ||
        dup2(errorFd, STDERR_FILENO) < 0) {
        _exit(126);
    }
    execve(DEMO_BINARY, argv, envp.data());
    _exit(127);
}

// Reads the pipe to its end; kills the child when the deadline passes first.
std::string readUntilEnd(int fd, pid_t child, int timeoutSeconds, bool* timedOut)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    std::string output;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd request = {fd, POLLIN, 0};
        const int ready =
            *timedOut ? 1 : poll(&request, 1, static_cast<int>(std::max<int64_t>(0, left.count())));
        if (ready < 0) {
            continue;
        }
        if (ready == 0) {
            kill(child, SIGKILL);
            *timedOut = true;
            continue;
        }
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count > 0) {
            output.append(buffer, static_cast<size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            return output;
        }
    }
}

std::string readWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> readLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace

Sandbox makeSandbox()
{
    const std::string pattern =
        (std::filesystem::temp_directory_path() / "demo-program-test-XXXXXX").string();
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    if (mkdtemp(path.data()) == nullptr) {
        throw std::runtime_error("cannot create a sandbox under " + pattern);
    }
    Sandbox sandbox;
    sandbox.root = path.data();
    sandbox.workDir = sandbox.root + "/cwd";
    sandbox.logPath = sandbox.root + "/vclock.log";
    std::filesystem::create_directory(sandbox.workDir);
    return sandbox;
}

void removeSandbox(const Sandbox& sandbox)
{
    std::error_code ignored;
    std::filesystem::remove_all(sandbox.root, ignored);
}

void writeSandboxFile(const Sandbox& sandbox, const std::string& relativePath,
                      const std::string& text)
{
    const std::filesystem::path path = std::filesystem::path(sandbox.workDir) / relativePath;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary);
    file << text;
}

ProgramResult runProgram(const Sandbox& sandbox, const std::vector<EnvSetting>& settings,
                         int timeoutSeconds)
{
    std::vector<std::string> environment = childEnvironment(sandbox, settings);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot create the output pipe");
    }
    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("cannot fork");
    }
    if (child == 0) {
        execProgram(sandbox, pipeFds[1], environment);
    }
    close(pipeFds[1]);
    ProgramResult result;
    result.output = readUntilEnd(pipeFds[0], child, timeoutSeconds, &result.timedOut);
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    result.errors = readWhole(errorsPath(sandbox));
    result.log = readLines(sandbox.logPath);
    return result;
}

ProgramResult runInFreshSandbox(const std::vector<EnvSetting>& settings,
                                const std::vector<SandboxFile>& files)
{
    const Sandbox sandbox = makeSandbox();
    for (const SandboxFile& file : files) {
        writeSandboxFile(sandbox, file.path, file.text);
    }
    ProgramResult result = runProgram(sandbox, settings);
    removeSandbox(sandbox);
    return result;
}
