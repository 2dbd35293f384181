// Recording stand-ins for the library calls of the demo (see fake_sdl.h).
#include "fake_sdl.h"

#include "shell/demo_state.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <cstdarg>
#include <cstdio>
#include <string>

FakeSdl fakeSdl;

namespace {

// The program's four images, and room to make them all anew once, on a
// render reset, with handles that differ from the ones they replace.
constexpr int programTextureCount = 4;
constexpr int textureHandleCount = 2 * programTextureCount;

char textureStore[textureHandleCount];
char windowStore;
char rendererStore;
char musicStore;
SDL_Surface surfaceStore;
std::string lastError;

void record(const DrawCall& call)
{
    if (fakeSdl.recording) {
        fakeSdl.calls.push_back(call);
    }
}

// A call that copies nothing, with the texture and colour that matter for it.
DrawCall nonCopyCall(CallKind kind, SDL_Texture* texture, SDL_Color color)
{
    return {kind, texture, false, {}, false, {}, 0.0, false, SDL_FLIP_NONE, color};
}

void note(const std::string& name)
{
    fakeSdl.lifecycle.push_back(name);
}

void fail(const std::string& error)
{
    lastError = error;
}

} // namespace

void resetFake()
{
    fakeSdl.~FakeSdl();
    new (&fakeSdl) FakeSdl();
    demo.~DemoState();
    new (&demo) DemoState();
    lastError.clear();
}

SDL_Texture* fakeTexture(int number)
{
    return reinterpret_cast<SDL_Texture*>(&textureStore[number]);
}

std::vector<DrawCall> callsOf(CallKind kind)
{
    std::vector<DrawCall> result;
    for (const DrawCall& call : fakeSdl.calls) {
        if (call.kind == kind) {
            result.push_back(call);
        }
    }
    return result;
}

std::vector<DrawCall> copies()
{
    return callsOf(CallKind::Copy);
}

extern "C" {

int SDL_Init(Uint32 flags)
{
    note("SDL_Init " + std::to_string(flags));
    if (fakeSdl.initFails) {
        fail("no such video driver");
        return -1;
    }
    return 0;
}

const char* SDL_GetError(void)
{
    return lastError.c_str();
}

int SDL_SetError(const char* fmt, ...)
{
    char text[256];
    va_list arguments;
    va_start(arguments, fmt);
    vsnprintf(text, sizeof text, fmt, arguments);
    va_end(arguments);
    fail(text);
    return -1;
}

const char* SDL_GetCurrentVideoDriver(void)
{
    return fakeSdl.videoDriver.c_str();
}

const char* SDL_GetHint(const char* name)
{
    const auto hint = fakeSdl.hints.find(name);
    return hint == fakeSdl.hints.end() ? nullptr : hint->second.c_str();
}

SDL_Window* SDL_CreateWindow(const char* title, int x, int y, int w, int h, Uint32 flags)
{
    note(std::string("SDL_CreateWindow ") + title + " " + std::to_string(x) + " " +
         std::to_string(y) + " " + std::to_string(w) + " " + std::to_string(h) + " " +
         std::to_string(flags));
    return reinterpret_cast<SDL_Window*>(&windowStore);
}

SDL_Renderer* SDL_CreateRenderer(SDL_Window*, int index, Uint32 flags)
{
    note("SDL_CreateRenderer " + std::to_string(index) + " " + std::to_string(flags));
    return reinterpret_cast<SDL_Renderer*>(&rendererStore);
}

SDL_bool SDL_SetHint(const char* name, const char* value)
{
    note(std::string("SDL_SetHint ") + name + " " + value);
    return SDL_TRUE;
}

int IMG_Init(int flags)
{
    note("IMG_Init " + std::to_string(flags));
    if (fakeSdl.imageInitResult != flags) {
        fail("no jpeg");
    }
    return fakeSdl.imageInitResult;
}

int Mix_Init(int flags)
{
    note("Mix_Init " + std::to_string(flags));
    return flags;
}

int Mix_OpenAudio(int frequency, Uint16 format, int channels, int chunksize)
{
    note("Mix_OpenAudio " + std::to_string(frequency) + " " + std::to_string(format) + " " +
         std::to_string(channels) + " " + std::to_string(chunksize));
    return 0;
}

int SDL_ShowCursor(int toggle)
{
    note("SDL_ShowCursor " + std::to_string(toggle));
    return 0;
}

SDL_Surface* IMG_Load(const char* file)
{
    note(std::string("IMG_Load ") + file);
    if (fakeSdl.loadableFiles.count(file) == 0) {
        fail(std::string("Couldn't open ") + file);
        return nullptr;
    }
    return &surfaceStore;
}

SDL_Texture* SDL_CreateTextureFromSurface(SDL_Renderer*, SDL_Surface* surface)
{
    note("SDL_CreateTextureFromSurface");
    if (surface == nullptr) {
        fail("Parameter 'surface' is invalid");
        return nullptr;
    }
    static int next = 0;
    return fakeTexture(next++ % textureHandleCount);
}

void SDL_FreeSurface(SDL_Surface* surface)
{
    note(surface == nullptr ? "SDL_FreeSurface null" : "SDL_FreeSurface");
}

Mix_Music* Mix_LoadMUS(const char* file)
{
    note(std::string("Mix_LoadMUS ") + file);
    if (fakeSdl.loadableFiles.count(file) == 0) {
        fail(std::string("Couldn't open '") + file + "'");
        return nullptr;
    }
    return reinterpret_cast<Mix_Music*>(&musicStore);
}

void Mix_FreeMusic(Mix_Music* music)
{
    note(music == nullptr ? "Mix_FreeMusic null" : "Mix_FreeMusic");
}

int Mix_PlayMusic(Mix_Music* music, int loops)
{
    note(std::string("Mix_PlayMusic ") + (music == nullptr ? "null " : "") + std::to_string(loops));
    return music == nullptr ? -1 : 0;
}

// No audio device plays here, so the music is never followed.
const char* SDL_GetCurrentAudioDriver(void)
{
    return nullptr;
}

int Mix_PlayingMusic(void)
{
    return 0;
}

int Mix_QuerySpec(int*, Uint16*, int*)
{
    return 0;
}

double Mix_GetMusicPosition(Mix_Music*)
{
    return -1.0;
}

int Mix_SetMusicPosition(double)
{
    note("Mix_SetMusicPosition");
    return -1;
}

void SDL_DestroyTexture(SDL_Texture* texture)
{
    note(texture == nullptr ? "SDL_DestroyTexture null" : "SDL_DestroyTexture");
}

void SDL_DestroyRenderer(SDL_Renderer*)
{
    note("SDL_DestroyRenderer");
}

void SDL_DestroyWindow(SDL_Window*)
{
    note("SDL_DestroyWindow");
}

void Mix_Quit(void)
{
    note("Mix_Quit");
}

void IMG_Quit(void)
{
    note("IMG_Quit");
}

void SDL_Quit(void)
{
    note("SDL_Quit");
}

Uint32 SDL_GetTicks(void)
{
    if (!fakeSdl.ticks.empty()) {
        fakeSdl.lastTicks = fakeSdl.ticks.front();
        fakeSdl.ticks.pop_front();
    }
    note("SDL_GetTicks " + std::to_string(fakeSdl.lastTicks));
    return fakeSdl.lastTicks;
}

int SDL_PollEvent(SDL_Event* event)
{
    if (fakeSdl.events.empty()) {
        return 0;
    }
    *event = fakeSdl.events.front();
    fakeSdl.events.pop_front();
    return 1;
}

const Uint8* SDL_GetKeyboardState(int* numkeys)
{
    if (numkeys != nullptr) {
        *numkeys = SDL_NUM_SCANCODES;
    }
    return fakeSdl.keys;
}

int SDL_SetRenderDrawColor(SDL_Renderer*, Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    fakeSdl.drawColor = {r, g, b, a};
    record(nonCopyCall(CallKind::DrawColor, nullptr, {r, g, b, a}));
    return 0;
}

int SDL_RenderClear(SDL_Renderer*)
{
    record(nonCopyCall(CallKind::Clear, nullptr, fakeSdl.drawColor));
    return 0;
}

int SDL_SetTextureColorMod(SDL_Texture* texture, Uint8 r, Uint8 g, Uint8 b)
{
    SDL_Color& color = fakeSdl.mods[texture].color;
    color = {r, g, b, color.a};
    record(nonCopyCall(CallKind::ColorMod, texture, {r, g, b, 0}));
    return 0;
}

int SDL_SetTextureAlphaMod(SDL_Texture* texture, Uint8 alpha)
{
    fakeSdl.mods[texture].color.a = alpha;
    record(nonCopyCall(CallKind::AlphaMod, texture, {0, 0, 0, alpha}));
    return 0;
}

int SDL_RenderCopyEx(SDL_Renderer*, SDL_Texture* texture, const SDL_Rect* srcrect,
                     const SDL_Rect* dstrect, const double angle, const SDL_Point* center,
                     const SDL_RendererFlip flip)
{
    // The copy is drawn with the texture's modulation of the moment.
    record({CallKind::Copy, texture, srcrect != nullptr, srcrect ? *srcrect : SDL_Rect{},
            dstrect != nullptr, dstrect ? *dstrect : SDL_Rect{}, angle, center != nullptr, flip,
            fakeSdl.mods[texture].color});
    return 0;
}

int SDL_GetWindowDisplayIndex(SDL_Window*)
{
    return 0;
}

int SDL_GetDisplayBounds(int, SDL_Rect* rect)
{
    *rect = fakeSdl.display;
    return 0;
}

void SDL_GetWindowPosition(SDL_Window*, int* x, int* y)
{
    *x = fakeSdl.window.x;
    *y = fakeSdl.window.y;
}

void SDL_GetWindowSize(SDL_Window*, int* w, int* h)
{
    *w = fakeSdl.window.w;
    *h = fakeSdl.window.h;
}

void SDL_RestoreWindow(SDL_Window*)
{
    note("SDL_RestoreWindow");
}

void SDL_SetWindowPosition(SDL_Window*, int x, int y)
{
    fakeSdl.window.x = x;
    fakeSdl.window.y = y;
    note("SDL_SetWindowPosition " + std::to_string(x) + " " + std::to_string(y));
}

void SDL_SetWindowSize(SDL_Window*, int w, int h)
{
    fakeSdl.window.w = w;
    fakeSdl.window.h = h;
    note("SDL_SetWindowSize " + std::to_string(w) + " " + std::to_string(h));
}

int SDL_GetRendererOutputSize(SDL_Renderer*, int* w, int* h)
{
    *w = fakeSdl.window.w;
    *h = fakeSdl.window.h;
    return 0;
}

int SDL_RenderSetScale(SDL_Renderer*, float scaleX, float scaleY)
{
    note("SDL_RenderSetScale " + std::to_string(scaleX) + " " + std::to_string(scaleY));
    return 0;
}

int SDL_RenderSetViewport(SDL_Renderer*, const SDL_Rect* rect)
{
    note(rect == nullptr
             ? std::string("SDL_RenderSetViewport whole")
             : "SDL_RenderSetViewport " + std::to_string(rect->x) + " " + std::to_string(rect->y) +
                   " " + std::to_string(rect->w) + " " + std::to_string(rect->h));
    return 0;
}

int SDL_GetRenderDrawColor(SDL_Renderer*, Uint8* r, Uint8* g, Uint8* b, Uint8* a)
{
    *r = fakeSdl.drawColor.r;
    *g = fakeSdl.drawColor.g;
    *b = fakeSdl.drawColor.b;
    *a = fakeSdl.drawColor.a;
    return 0;
}

int SDL_RenderFillRects(SDL_Renderer*, const SDL_Rect* rects, int count)
{
    std::string text = "SDL_RenderFillRects";
    for (int i = 0; i < count; ++i) {
        text += " " + std::to_string(rects[i].x) + "," + std::to_string(rects[i].y) + "," +
                std::to_string(rects[i].w) + "," + std::to_string(rects[i].h);
    }
    note(text);
    return 0;
}

void SDL_RenderPresent(SDL_Renderer*)
{
    record(nonCopyCall(CallKind::Present, nullptr, {}));
}

} // extern "C"
