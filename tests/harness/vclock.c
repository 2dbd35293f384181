// Preloaded into the shipped program: a scripted clock, scripted events and keys, and a call log.
//
// Only the main thread (the one that loads the library) sees the script; the
// mixer's audio thread gets the real clock. Settings, all optional:
//   VCLOCK_START   first SDL_GetTicks reading (default 1000); may sit near 2^32 to wrap
//   VCLOCK_STEP    milliseconds added per later reading (default 500)
//   VCLOCK_TIMES   "10000,20000,20001": readings relative to the first, used in order
//                  before stepping on from the last one
//   VCLOCK_EVENTS  "esc@30000,escrepeat@30010,quit@50000": delivered after the real
//                  events on the first poll once the elapsed time (latest reading
//                  minus first) has reached the value; "sigint@.." and "sigterm@.."
//                  instead raise that signal on the main thread and let SDL report it
//   VCLOCK_KEYS    "40@1000-3000": scancode held while the elapsed time is in [from, to]
//   VCLOCK_MEMORY  when set, each present also logs the resident size
//   VCLOCK_SNAPSHOTS  folder that gets each presented frame as frame_<elapsed>.png
//                  (RGB), elapsed being the pass's first clock reading
//   VCLOCK_LOG     file that gets one line per call: "T <reading> <elapsed>", "P"
//                  (present), "C tex=.. src=.. dst=.. angle=.." (rotated copy),
//                  "K r,g,b,a" (clear), "E <event> <elapsed>", "L <shutdown call>",
//                  "M <resident KiB>" (just before its "P"), "W <path>" (a file
//                  opened for writing, by any thread)
#define _GNU_SOURCE
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { maxScripted = 256 };

enum ScriptedKind {
    scriptedEscape,
    scriptedEscapeRepeat,
    scriptedQuit,
    scriptedInterrupt,
    scriptedTerminate
};

struct ScriptedEvent {
    enum ScriptedKind kind;
    long long atMs;
    int delivered;
};

struct HeldKey {
    int scancode;
    long long fromMs;
    long long toMs;
};

// Everything the shim knows, written by the constructor and the main thread only.
struct Clock {
    pthread_t mainThread;
    Uint32 firstReading;
    Uint32 stepMs;
    long long times[maxScripted];
    int timeCount;
    int readingCount;
    Uint32 lastReading;
    struct ScriptedEvent events[maxScripted];
    int eventCount;
    struct HeldKey keys[maxScripted];
    int keyCount;
    Uint8 keyboard[SDL_NUM_SCANCODES];
    FILE* log;
    int logMemory;
    const char* snapshotDir;
    long long passElapsed; // elapsed of the first reading of the pass being drawn
    int passStarted;
    Uint8 drawColor[4];
};

static struct Clock vclock;

static int onMainThread(void)
{
    return pthread_equal(pthread_self(), vclock.mainThread);
}

// The library's own definition of a symbol this shim replaces; null when the
// process does not load that library (a shell run with the shim preloaded).
static void* realSymbol(const char* name)
{
    return dlsym(RTLD_NEXT, name);
}

// "0,20000,20001": readings relative to the first one, used in order.
static void parseTimes(const char* text)
{
    while (text != NULL && *text != '\0' && vclock.timeCount < maxScripted) {
        char* end = NULL;
        vclock.times[vclock.timeCount++] = strtoll(text, &end, 10);
        text = strchr(end, ',');
        text = text != NULL ? text + 1 : NULL;
    }
}

// "esc@30000,quit@50000,escrepeat@30010": an event due once the elapsed time reaches its value.
static void parseEvents(const char* text)
{
    while (text != NULL && *text != '\0' && vclock.eventCount < maxScripted) {
        struct ScriptedEvent* event = &vclock.events[vclock.eventCount];
        const char* at = strchr(text, '@');
        if (at == NULL) {
            return;
        }
        size_t nameLength = (size_t)(at - text);
        if (nameLength == 3 && strncmp(text, "esc", 3) == 0) {
            event->kind = scriptedEscape;
        } else if (nameLength == 9 && strncmp(text, "escrepeat", 9) == 0) {
            event->kind = scriptedEscapeRepeat;
        } else if (nameLength == 6 && strncmp(text, "sigint", 6) == 0) {
            event->kind = scriptedInterrupt;
        } else if (nameLength == 7 && strncmp(text, "sigterm", 7) == 0) {
            event->kind = scriptedTerminate;
        } else {
            event->kind = scriptedQuit;
        }
        char* end = NULL;
        event->atMs = strtoll(at + 1, &end, 10);
        vclock.eventCount++;
        text = strchr(end, ',');
        text = text != NULL ? text + 1 : NULL;
    }
}

// "40@1000-3000": the scancode is held while the elapsed time lies in [from, to].
static void parseKeys(const char* text)
{
    while (text != NULL && *text != '\0' && vclock.keyCount < maxScripted) {
        struct HeldKey* key = &vclock.keys[vclock.keyCount];
        char* end = NULL;
        key->scancode = (int)strtoll(text, &end, 10);
        if (*end != '@') {
            return;
        }
        key->fromMs = strtoll(end + 1, &end, 10);
        if (*end != '-') {
            return;
        }
        key->toMs = strtoll(end + 1, &end, 10);
        if (key->scancode >= 0 && key->scancode < SDL_NUM_SCANCODES) {
            vclock.keyCount++;
        }
        text = strchr(end, ',');
        text = text != NULL ? text + 1 : NULL;
    }
}

static Uint32 envNumber(const char* name, Uint32 fallback)
{
    const char* text = getenv(name);
    return text != NULL && *text != '\0' ? (Uint32)strtoull(text, NULL, 10) : fallback;
}

// Runs on the main thread before the program's main: the thread that counts.
__attribute__((constructor)) static void startVirtualClock(void)
{
    vclock.mainThread = pthread_self();
    vclock.firstReading = envNumber("VCLOCK_START", 1000);
    vclock.stepMs = envNumber("VCLOCK_STEP", 500);
    parseTimes(getenv("VCLOCK_TIMES"));
    parseEvents(getenv("VCLOCK_EVENTS"));
    parseKeys(getenv("VCLOCK_KEYS"));
    vclock.logMemory = getenv("VCLOCK_MEMORY") != NULL;
    vclock.snapshotDir = getenv("VCLOCK_SNAPSHOTS");
    const char* logPath = getenv("VCLOCK_LOG");
    if (logPath != NULL && *logPath != '\0') {
        vclock.log = fopen(logPath, "a");
    }
}

__attribute__((destructor)) static void closeLog(void)
{
    if (vclock.log != NULL) {
        fclose(vclock.log);
        vclock.log = NULL;
    }
}

// Milliseconds since the first main-thread reading, as the program computes them;
// -1 before that reading, so that nothing scripted is due yet.
static long long virtualElapsed(void)
{
    if (vclock.readingCount == 0) {
        return -1;
    }
    return (int32_t)(vclock.lastReading - vclock.firstReading);
}

static Uint32 nextReading(void)
{
    if (vclock.readingCount == 0) {
        return vclock.firstReading;
    }
    int scriptedIndex = vclock.readingCount - 1;
    if (scriptedIndex < vclock.timeCount) {
        return vclock.firstReading + (Uint32)vclock.times[scriptedIndex];
    }
    return vclock.lastReading + vclock.stepMs;
}

Uint32 SDL_GetTicks(void)
{
    if (!onMainThread()) {
        Uint32 (*real)(void) = (Uint32(*)(void))realSymbol("SDL_GetTicks");
        return real != NULL ? real() : 0;
    }
    vclock.lastReading = nextReading();
    vclock.readingCount++;
    // The first reading is the start of the show, not of a pass.
    if (vclock.readingCount > 1 && !vclock.passStarted) {
        vclock.passElapsed = virtualElapsed();
        vclock.passStarted = 1;
    }
    if (vclock.log != NULL) {
        fprintf(vclock.log, "T %u %lld\n", vclock.lastReading, virtualElapsed());
    }
    return vclock.lastReading;
}

static const char* scriptedName(enum ScriptedKind kind)
{
    switch (kind) {
    case scriptedEscape: return "esc";
    case scriptedEscapeRepeat: return "escrepeat";
    case scriptedInterrupt: return "sigint";
    case scriptedTerminate: return "sigterm";
    default: return "quit";
    }
}

static void fillScripted(SDL_Event* event, enum ScriptedKind kind)
{
    memset(event, 0, sizeof *event);
    if (kind == scriptedQuit) {
        event->type = SDL_QUIT;
        return;
    }
    event->type = SDL_KEYDOWN;
    event->key.state = SDL_PRESSED;
    event->key.repeat = kind == scriptedEscapeRepeat ? 1 : 0;
    event->key.keysym.scancode = SDL_SCANCODE_ESCAPE;
    event->key.keysym.sym = SDLK_ESCAPE;
}

static struct ScriptedEvent* dueEvent(void)
{
    long long elapsed = virtualElapsed();
    for (int i = 0; i < vclock.eventCount; ++i) {
        struct ScriptedEvent* event = &vclock.events[i];
        if (!event->delivered && elapsed >= 0 && elapsed >= event->atMs) {
            return event;
        }
    }
    return NULL;
}

// One "E" line for a scripted event or signal as it is handed over.
static void logDelivered(const struct ScriptedEvent* event)
{
    if (vclock.log != NULL) {
        fprintf(vclock.log, "E %s %lld\n", scriptedName(event->kind), virtualElapsed());
    }
}

// True for the kinds that are raised as signals rather than queued as events.
static int isSignal(enum ScriptedKind kind)
{
    return kind == scriptedInterrupt || kind == scriptedTerminate;
}

// The signal goes to the program as the terminal or a process manager would
// send it; whatever SDL's handler turned it into is then polled for real.
static int raiseScripted(struct ScriptedEvent* due, SDL_Event* event)
{
    due->delivered = 1;
    logDelivered(due);
    raise(due->kind == scriptedInterrupt ? SIGINT : SIGTERM);
    int (*real)(SDL_Event*) = (int (*)(SDL_Event*))realSymbol("SDL_PollEvent");
    return real != NULL ? real(event) : 0;
}

// Real events first; once the queue is empty, the scripted events that are due, one per call.
int SDL_PollEvent(SDL_Event* event)
{
    int (*real)(SDL_Event*) = (int (*)(SDL_Event*))realSymbol("SDL_PollEvent");
    if (real != NULL && real(event) != 0) {
        return 1;
    }
    if (!onMainThread()) {
        return 0;
    }
    struct ScriptedEvent* due = dueEvent();
    if (due == NULL) {
        return 0;
    }
    if (isSignal(due->kind)) {
        return raiseScripted(due, event);
    }
    if (event == NULL) {
        return 1;
    }
    fillScripted(event, due->kind);
    due->delivered = 1;
    logDelivered(due);
    return 1;
}

// The real state with the scripted keys that are held at this elapsed time set on top.
const Uint8* SDL_GetKeyboardState(int* numkeys)
{
    const Uint8* (*real)(int*) = (const Uint8* (*)(int*))realSymbol("SDL_GetKeyboardState");
    const Uint8* state = real != NULL ? real(numkeys) : NULL;
    if (!onMainThread()) {
        return state;
    }
    if (state != NULL) {
        memcpy(vclock.keyboard, state, sizeof vclock.keyboard);
    } else {
        memset(vclock.keyboard, 0, sizeof vclock.keyboard);
    }
    long long elapsed = virtualElapsed();
    for (int i = 0; i < vclock.keyCount; ++i) {
        const struct HeldKey* key = &vclock.keys[i];
        if (elapsed >= key->fromMs && elapsed <= key->toMs) {
            vclock.keyboard[key->scancode] = 1;
        }
    }
    if (numkeys != NULL) {
        *numkeys = SDL_NUM_SCANCODES;
    }
    return vclock.keyboard;
}

// Resident set size in KiB from /proc/self/statm (second field, in pages); -1 when unreadable.
static long residentKiB(void)
{
    FILE* statm = fopen("/proc/self/statm", "r");
    long sizePages = 0;
    long residentPages = -1;
    if (statm == NULL) {
        return -1;
    }
    if (fscanf(statm, "%ld %ld", &sizePages, &residentPages) != 2) {
        residentPages = -1;
    }
    fclose(statm);
    return residentPages < 0 ? -1 : residentPages * (sysconf(_SC_PAGESIZE) / 1024);
}

// Flushed on every frame so that a killed run still leaves its frames behind.
// Reads the frame about to be presented back from the renderer and writes it
// as an RGB PNG, with the libraries' own functions found behind this shim.
static void saveSnapshot(SDL_Renderer* renderer)
{
    typedef int (*ReadPixels)(SDL_Renderer*, const SDL_Rect*, Uint32, void*, int);
    typedef int (*OutputSize)(SDL_Renderer*, int*, int*);
    typedef SDL_Surface* (*CreateSurface)(Uint32, int, int, int, Uint32);
    typedef int (*SavePng)(SDL_Surface*, const char*);
    typedef void (*FreeSurface)(SDL_Surface*);
    ReadPixels readPixels = (ReadPixels)realSymbol("SDL_RenderReadPixels");
    OutputSize outputSize = (OutputSize)realSymbol("SDL_GetRendererOutputSize");
    CreateSurface createSurface = (CreateSurface)realSymbol("SDL_CreateRGBSurfaceWithFormat");
    SavePng savePng = (SavePng)realSymbol("IMG_SavePNG");
    FreeSurface freeSurface = (FreeSurface)realSymbol("SDL_FreeSurface");
    int width = 0;
    int height = 0;
    if (readPixels == NULL || outputSize == NULL || createSurface == NULL || savePng == NULL ||
        freeSurface == NULL || outputSize(renderer, &width, &height) != 0) {
        return;
    }
    SDL_Surface* surface = createSurface(0, width, height, 24, SDL_PIXELFORMAT_RGB24);
    if (surface == NULL) {
        return;
    }
    if (readPixels(renderer, NULL, SDL_PIXELFORMAT_RGB24, surface->pixels, surface->pitch) == 0) {
        char path[4096];
        snprintf(path, sizeof path, "%s/frame_%06lld.png", vclock.snapshotDir, vclock.passElapsed);
        savePng(surface, path);
    }
    freeSurface(surface);
}

void SDL_RenderPresent(SDL_Renderer* renderer)
{
    if (vclock.snapshotDir != NULL && onMainThread()) {
        saveSnapshot(renderer);
    }
    vclock.passStarted = 0;
    void (*real)(SDL_Renderer*) = (void (*)(SDL_Renderer*))realSymbol("SDL_RenderPresent");
    if (real != NULL) {
        real(renderer);
    }
    if (vclock.log != NULL && onMainThread()) {
        if (vclock.logMemory) {
            fprintf(vclock.log, "M %ld\n", residentKiB());
        }
        fputs("P\n", vclock.log);
        fflush(vclock.log);
    }
}

static void logRect(const char* label, const SDL_Rect* rect)
{
    if (rect == NULL) {
        fprintf(vclock.log, " %s=-", label);
    } else {
        fprintf(vclock.log, " %s=%d,%d,%d,%d", label, rect->x, rect->y, rect->w, rect->h);
    }
}

int SDL_RenderCopyEx(SDL_Renderer* renderer, SDL_Texture* texture, const SDL_Rect* srcrect,
                     const SDL_Rect* dstrect, const double angle, const SDL_Point* center,
                     const SDL_RendererFlip flip)
{
    int (*real)(SDL_Renderer*, SDL_Texture*, const SDL_Rect*, const SDL_Rect*, double,
                const SDL_Point*, SDL_RendererFlip) =
        (int (*)(SDL_Renderer*, SDL_Texture*, const SDL_Rect*, const SDL_Rect*, double,
                 const SDL_Point*, SDL_RendererFlip))realSymbol("SDL_RenderCopyEx");
    if (vclock.log != NULL && onMainThread()) {
        fprintf(vclock.log, "C tex=%p", (void*)texture);
        logRect("src", srcrect);
        logRect("dst", dstrect);
        fprintf(vclock.log, " angle=%.17g\n", angle);
    }
    return real != NULL ? real(renderer, texture, srcrect, dstrect, angle, center, flip) : -1;
}

// Remembered so that each clear can be logged with the colour it clears to.
int SDL_SetRenderDrawColor(SDL_Renderer* renderer, Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    int (*real)(SDL_Renderer*, Uint8, Uint8, Uint8, Uint8) =
        (int (*)(SDL_Renderer*, Uint8, Uint8, Uint8, Uint8))realSymbol("SDL_SetRenderDrawColor");
    if (onMainThread()) {
        vclock.drawColor[0] = r;
        vclock.drawColor[1] = g;
        vclock.drawColor[2] = b;
        vclock.drawColor[3] = a;
    }
    return real != NULL ? real(renderer, r, g, b, a) : -1;
}

int SDL_RenderClear(SDL_Renderer* renderer)
{
    int (*real)(SDL_Renderer*) = (int (*)(SDL_Renderer*))realSymbol("SDL_RenderClear");
    if (vclock.log != NULL && onMainThread()) {
        fprintf(vclock.log, "K %u,%u,%u,%u\n", vclock.drawColor[0], vclock.drawColor[1],
                vclock.drawColor[2], vclock.drawColor[3]);
    }
    return real != NULL ? real(renderer) : -1;
}

static void logLifecycle(const char* name)
{
    if (vclock.log != NULL && onMainThread()) {
        fprintf(vclock.log, "L %s\n", name);
        fflush(vclock.log);
    }
}

void Mix_FreeMusic(Mix_Music* music)
{
    logLifecycle("Mix_FreeMusic");
    void (*real)(Mix_Music*) = (void (*)(Mix_Music*))realSymbol("Mix_FreeMusic");
    if (real != NULL) {
        real(music);
    }
}

void SDL_DestroyRenderer(SDL_Renderer* renderer)
{
    logLifecycle("SDL_DestroyRenderer");
    void (*real)(SDL_Renderer*) = (void (*)(SDL_Renderer*))realSymbol("SDL_DestroyRenderer");
    if (real != NULL) {
        real(renderer);
    }
}

void SDL_DestroyWindow(SDL_Window* window)
{
    logLifecycle("SDL_DestroyWindow");
    void (*real)(SDL_Window*) = (void (*)(SDL_Window*))realSymbol("SDL_DestroyWindow");
    if (real != NULL) {
        real(window);
    }
}

void Mix_Quit(void)
{
    logLifecycle("Mix_Quit");
    void (*real)(void) = (void (*)(void))realSymbol("Mix_Quit");
    if (real != NULL) {
        real();
    }
}

void IMG_Quit(void)
{
    logLifecycle("IMG_Quit");
    void (*real)(void) = (void (*)(void))realSymbol("IMG_Quit");
    if (real != NULL) {
        real();
    }
}

void SDL_Quit(void)
{
    logLifecycle("SDL_Quit");
    void (*real)(void) = (void (*)(void))realSymbol("SDL_Quit");
    if (real != NULL) {
        real();
    }
}

// Files opened for writing, by any thread of the program: the program itself
// writes nothing, so each one names a library that does.
// True when open flags allow writing, creating or truncating.
static int flagsWrite(int flags)
{
    return (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC)) != 0;
}

// Logs the path when the flags let it be written.
static void noteOpen(const char* path, int flags)
{
    if (vclock.log != NULL && path != NULL && flagsWrite(flags)) {
        fprintf(vclock.log, "W %s\n", path);
        fflush(vclock.log);
    }
}

// The mode argument that open and openat take only when they may create the file.
static mode_t creationMode(int flags, va_list args)
{
    const int creates = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    return creates ? va_arg(args, mode_t) : 0;
}

// Logs, then calls the C library's function of that name.
static int forwardOpen(const char* name, const char* path, int flags, mode_t mode)
{
    noteOpen(path, flags);
    int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))realSymbol(name);
    return real != NULL ? real(path, flags, mode) : -1;
}

// Logs, then calls the C library's function of that name, relative to a directory.
static int forwardOpenAt(const char* name, int directory, const char* path, int flags, mode_t mode)
{
    noteOpen(path, flags);
    int (*real)(int, const char*, int, ...) = (int (*)(int, const char*, int, ...))realSymbol(name);
    return real != NULL ? real(directory, path, flags, mode) : -1;
}

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = creationMode(flags, args);
    va_end(args);
    return forwardOpen("open", path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = creationMode(flags, args);
    va_end(args);
    return forwardOpen("open64", path, flags, mode);
}

int openat(int directory, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = creationMode(flags, args);
    va_end(args);
    return forwardOpenAt("openat", directory, path, flags, mode);
}

int openat64(int directory, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = creationMode(flags, args);
    va_end(args);
    return forwardOpenAt("openat64", directory, path, flags, mode);
}

int creat(const char* path, mode_t mode)
{
    return forwardOpen("open", path, O_CREAT | O_WRONLY | O_TRUNC, mode);
}

int creat64(const char* path, mode_t mode)
{
    return forwardOpen("open64", path, O_CREAT | O_WRONLY | O_TRUNC, mode);
}

// Logs a mode that writes, appends or updates, then calls the C library's function.
static FILE* forwardFopen(const char* name, const char* path, const char* mode)
{
    if (mode != NULL && strpbrk(mode, "wa+") != NULL) {
        noteOpen(path, O_WRONLY);
    }
    FILE* (*real)(const char*, const char*) =
        (FILE * (*)(const char*, const char*)) realSymbol(name);
    return real != NULL ? real(path, mode) : NULL;
}

FILE* fopen(const char* path, const char* mode)
{
    return forwardFopen("fopen", path, mode);
}

FILE* fopen64(const char* path, const char* mode)
{
    return forwardFopen("fopen64", path, mode);
}
