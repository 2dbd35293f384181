// What every run of the program is checked against: start-up text, shutdown order, pass shape.
#pragma once

#include "frame_log.h"
#include "program_run.h"

#include <string>
#include <vector>

// True when an X display is set for the program's window (xvfb-run sets one).
bool hasDisplay();

// Stands, in an expected text, for any text that runs to the end of its line:
// the error texts are the libraries' own.
constexpr const char* anyLineText = "<any text>";

// The two lines of an image that did not become a texture, for its path.
std::string imageFailureText(const std::string& path);

// The line of music that could not be loaded.
std::string musicFailureText();

// The line of a font descriptor that cannot be opened or read.
std::string fontFailureText();

// The two lines of a failed SDL start-up, the program's only fatal failure.
std::string initFailureText();

// The start-up messages of a working directory without images and music;
// the font message too when fontMissing.
std::string loadFailureText(bool fontMissing);

// True when the whole text equals the expected one, each anyLineText in it
// matching any run of characters up to the first occurrence of what follows
// it on the same line.
bool matchesExpected(const std::string& text, const std::string& expected);

// The shutdown calls after a normal end or a quit, in their fixed order.
std::vector<std::string> shutdownOrder();

// Checks that the run ended by itself with status 0, not by a signal or the harness.
void expectCleanExit(const ProgramResult& result);

// Checks that every pass took one clock reading, or two when it changed the
// scene, and presented exactly one frame.
void expectOnePresentPerPass(const ProgramLog& log);

// Checks that the run played the whole timeline: one present per pass, no
// pass after the first one past the end that changed no scene, the last in
// scene 5, then the full shutdown.
void expectWholeShow(const ProgramLog& log);

// The frames whose last clock reading (the one the keyboard was sampled at)
// lies in [fromMs, toMs].
int framesSampledWithin(const ProgramLog& log, int64_t fromMs, int64_t toMs);

// Checks that the show ended with the pass that received the scripted event
// due at atMs (no pass after it), in the given scene, with the full shutdown.
void expectEndedByEventAt(const ProgramLog& log, int64_t atMs, int scene);
