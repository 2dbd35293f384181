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
#include <cstddef>
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
bool isHarnessSetting(const std::string& name)
{
    return name.rfind("VCLOCK_", 0) == 0 || name == "LD_PRELOAD" || name == "SDL_VIDEODRIVER" ||
           name == "SDL_AUDIODRIVER" || name == "WAYLAND_DISPLAY" || name == "ASAN_OPTIONS" ||
           name == "LSAN_OPTIONS";
}

// The inherited options of a sanitizer, if any, followed by the harness's own.
std::string withInherited(const char* variable, const std::string& harnessOptions)
{
    const char* inherited = std::getenv(variable);
    return inherited != nullptr && *inherited != '\0'
               ? std::string(inherited) + ":" + harnessOptions
               : harnessOptions;
}

// For an AddressSanitizer build of the program: its runtime refuses to start
// when a preloaded library comes before it, and the shim must come first.
// Leaks are checked at exit, with suppressions for system libraries only.
const char* const harnessAsanOptions = "verify_asan_link_order=0:detect_leaks=1";

std::vector<EnvSetting> sanitizerSettings()
{
    return {{"ASAN_OPTIONS", withInherited("ASAN_OPTIONS", harnessAsanOptions)},
            {"LSAN_OPTIONS",
             withInherited("LSAN_OPTIONS", std::string("suppressions=") + LSAN_SUPPRESSIONS +
                                               ":print_suppressions=0")}};
}

// The shim, and in a sanitizer build the library that keeps unloaded
// libraries mapped so that the leak checker can still name them at exit.
std::string preloadList()
{
    const std::string sanitizerPreload = SANITIZER_PRELOAD;
    return sanitizerPreload.empty() ? std::string(VCLOCK_LIBRARY)
                                    : std::string(VCLOCK_LIBRARY) + ":" + sanitizerPreload;
}

// Replaces the setting of the same name, or removes it when the new one is unset.
void applySetting(std::vector<EnvSetting>& environment, const EnvSetting& setting)
{
    for (size_t i = environment.size(); i-- > 0;) {
        if (environment[i].name == setting.name) {
            environment.erase(environment.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (!setting.unset) {
        environment.push_back(setting);
    }
}

// The child's environment: the parent's display and paths, the shim, the
// silent audio driver and the test's own settings, which win.
std::vector<std::string> childEnvironment(const Sandbox& sandbox,
                                          const std::vector<EnvSetting>& settings)
{
    std::vector<EnvSetting> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        const std::string name = text.substr(0, equals);
        if (equals != std::string::npos && !isHarnessSetting(name)) {
            environment.push_back({name, text.substr(equals + 1)});
        }
    }
    environment.push_back({"LD_PRELOAD", preloadList()});
    environment.push_back({"SDL_AUDIODRIVER", "dummy"});
    for (const EnvSetting& setting : sanitizerSettings()) {
        environment.push_back(setting);
    }
    environment.push_back({"VCLOCK_LOG", sandbox.logPath});
    for (const EnvSetting& setting : settings) {
        applySetting(environment, setting);
    }
    std::vector<std::string> entries;
    for (const EnvSetting& setting : environment) {
        entries.push_back(setting.name + "=" + setting.value);
    }
    return entries;
}

std::string errorsPath(const Sandbox& sandbox)
{
    return sandbox.root + "/stderr.txt";
}

// A shell that starts the tests in the background ignores SIGINT, and an
// ignored signal stays ignored across exec; SDL then leaves it alone. The
// program gets the dispositions a terminal would give it.
void restoreDefaultSignals()
{
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
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
    std::vector<std::string> words = {sandbox.program};
    words.insert(words.end(), sandbox.arguments.begin(), sandbox.arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const std::string errorPath = errorsPath(sandbox);
    const int errorFd = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (chdir(sandbox.workDir.c_str()) != 0 || dup2(outputFd, STDOUT_FILENO) < 0 || errorFd < 0 ||
        dup2(errorFd, STDERR_FILENO) < 0) {
        _exit(126);
    }
    restoreDefaultSignals();
    execve(sandbox.program.c_str(), argv.data(), envp.data());
    _exit(127);
}

// A signal that the harness sends the program once its first frame is logged.
struct PendingSignal {
    int number = 0; // 0: none
    std::string logPath;
};

// True once the call log holds the present of a first frame.
bool logHasAFrame(const std::string& logPath)
{
    std::ifstream file(logPath);
    std::string line;
    while (std::getline(file, line)) {
        if (line == "P") {
            return true;
        }
    }
    return false;
}

// Sends the pending signal when its moment has come; true once it is sent.
bool sendWhenDue(const PendingSignal& pending, pid_t child)
{
    if (!logHasAFrame(pending.logPath)) {
        return false;
    }
    kill(child, pending.number);
    return true;
}

// Reads the pipe to its end; kills the child when the deadline passes first.
// While a signal is pending, looks at the log every few milliseconds.
std::string readUntilEnd(int fd, pid_t child, int timeoutSeconds, PendingSignal pending,
                         bool* timedOut)
{
    constexpr int64_t signalCheckMs = 5;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    std::string output;
    char buffer[4096];
    for (;;) {
        if (pending.number != 0 && sendWhenDue(pending, child)) {
            pending.number = 0;
        }
        const int64_t left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 deadline - std::chrono::steady_clock::now())
                                 .count();
        if (!*timedOut && left <= 0) {
            kill(child, SIGKILL);
            *timedOut = true;
        }
        const int64_t wait = pending.number != 0 ? std::min(left, signalCheckMs) : left;
        pollfd request = {fd, POLLIN, 0};
        const int ready =
            *timedOut ? 1 : poll(&request, 1, static_cast<int>(std::max<int64_t>(0, wait)));
        if (ready <= 0) {
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
    sandbox.program = DEMO_BINARY;
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

namespace {

// Runs the program once, as runProgram describes, sending the pending signal if there is one.
ProgramResult runWithSignal(const Sandbox& sandbox, const std::vector<EnvSetting>& settings,
                            int timeoutSeconds, const PendingSignal& pending)
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
    result.output = readUntilEnd(pipeFds[0], child, timeoutSeconds, pending, &result.timedOut);
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

} // namespace

EnvSetting asanOptionsWith(const std::string& extraOptions)
{
    return {"ASAN_OPTIONS",
            withInherited("ASAN_OPTIONS", std::string(harnessAsanOptions) + ":" + extraOptions)};
}

std::string builtAssetsDir()
{
    return DEMO_ASSETS_DIR;
}

void copyBuiltAssets(const std::string& intoDir)
{
    if (!std::filesystem::is_directory(builtAssetsDir())) {
        throw std::runtime_error("no generated assets in " + builtAssetsDir());
    }
    std::filesystem::create_directories(intoDir);
    std::filesystem::copy(builtAssetsDir(), std::filesystem::path(intoDir) / "dada",
                          std::filesystem::copy_options::recursive);
}

ProgramResult runProgram(const Sandbox& sandbox, const std::vector<EnvSetting>& settings,
                         int timeoutSeconds)
{
    return runWithSignal(sandbox, settings, timeoutSeconds, PendingSignal());
}

ProgramResult runProgramSignalledAfterFirstFrame(const Sandbox& sandbox,
                                                 const std::vector<EnvSetting>& settings,
                                                 int signalNumber, int timeoutSeconds)
{
    PendingSignal pending;
    pending.number = signalNumber;
    pending.logPath = sandbox.logPath;
    return runWithSignal(sandbox, settings, timeoutSeconds, pending);
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
