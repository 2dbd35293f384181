// The demo's music in A minor: instrument sounds, patterns and the section-by-section arrangement.
#include "musicgen/song.h"

#include <cmath>
#include <cstring>

namespace {

// A chord as each part plays it: bass root, three pad notes, four arpeggio notes.
struct Chord {
    int bass;
    int pad[3];
    int arp[4];
};

constexpr Chord aMinor{33, {57, 60, 64}, {69, 72, 76, 81}};
constexpr Chord fMajor{29, {57, 60, 65}, {65, 69, 72, 77}};
constexpr Chord cMajor{36, {55, 60, 64}, {67, 72, 76, 79}};
constexpr Chord gMajor{31, {55, 59, 62}, {67, 71, 74, 79}};
constexpr Chord eMinor{28, {55, 59, 64}, {64, 67, 71, 76}};
// E major: the raised G# pulls back to A minor at the end of a build.
constexpr Chord eMajor{28, {56, 59, 64}, {64, 68, 71, 76}};

// Chords in order from grid point `origin`, each lasting `sixteenthsPerChord`, repeating.
struct Progression {
    std::vector<Chord> chords;
    int sixteenthsPerChord;
    int origin;
};

// A stretch of the grid: sixteenths [first, end).
struct Span {
    int first;
    int end;
};

// One note of a written melody, in sixteenths from the melody's start.
struct MelodyNote {
    int start;
    int length;
    int note;
};

constexpr int sixteenthsPerBar = 16;
constexpr float drumGateSeconds = 1.0f;
constexpr float staccato = 0.85f;

// Sections, as grid sixteenths (each the nearest eighth to its scene boundary).
struct Sections {
    Span opening;
    Span tiles;
    Span spin;
    Span fullBeat;
    Span lead;
    Span climax;
    Span credits;
};

// The section spans of the song, from the scene boundaries of the picture.
Sections songSections()
{
    const int tiles = sectionSixteenth(sceneTilesMs);
    const int spin = sectionSixteenth(sceneSpinMs);
    const int full = sectionSixteenth(fullBeatMs);
    const int lead = sectionSixteenth(leadEntryMs);
    const int climax = sectionSixteenth(climaxMs);
    const int credits = sectionSixteenth(creditsMs);
    const int end = static_cast<int>((songLengthMs - gridOffsetMs) / sixteenthLengthMs);
    return Sections{{0, tiles},     {tiles, spin},     {spin, full},  {full, lead},
                    {lead, climax}, {climax, credits}, {credits, end}};
}

// ---- Instruments -------------------------------------------------------------------------------

// Kick: a sine falling three octaves in pitch, with a click of filtered noise.
InstrumentParams kickSound()
{
    InstrumentParams p;
    p.wave = Wave::Sine;
    p.pitchEnvSemitones = 36.0f;
    p.pitchEnvDecayS = 0.12f;
    p.noiseMix = 0.08f;
    p.attackS = 0.0005f;
    p.decayS = 0.5f;
    p.sustain = 0.0f;
    p.releaseS = 0.05f;
    p.filter = FilterMode::LowPass;
    p.cutoffHz = 180.0f;
    p.filterEnvOctaves = 5.5f;
    p.filterEnvDecayS = 0.04f;
    p.gain = 0.95f;
    p.triggersDuck = true;
    p.resetPhase = true;
    p.polyphony = 1;
    return p;
}

// Snare: a short pitched body under noise.
InstrumentParams snareSound()
{
    InstrumentParams p;
    p.wave = Wave::Sine;
    p.pitchEnvSemitones = 12.0f;
    p.pitchEnvDecayS = 0.05f;
    p.noiseMix = 0.65f;
    p.attackS = 0.0005f;
    p.decayS = 0.22f;
    p.sustain = 0.0f;
    p.releaseS = 0.05f;
    // Low-pass, not high-pass: a snare's rattle thins out above a few kHz, and full-band noise
    // would only sound harsh (and make the encoder overshoot on every hit).
    p.filter = FilterMode::LowPass;
    p.cutoffHz = 4500.0f;
    p.resonance = 0.25f;
    p.filterEnvOctaves = 1.0f;
    p.filterEnvDecayS = 0.08f;
    p.gain = 1.0f;
    p.reverbSend = 0.25f;
    p.resetPhase = true;
    p.polyphony = 2;
    return p;
}

// Closed hi-hat: a tick of high-passed noise.
InstrumentParams closedHatSound()
{
    InstrumentParams p;
    p.wave = Wave::Noise;
    p.attackS = 0.0005f;
    p.decayS = 0.05f;
    p.sustain = 0.0f;
    p.filter = FilterMode::HighPass;
    p.cutoffHz = 8000.0f;
    p.resonance = 0.3f;
    p.gain = 0.7f;
    p.pan = 0.25f;
    p.polyphony = 2;
    return p;
}

// Open hi-hat: high-passed noise ringing a little longer.
InstrumentParams openHatSound()
{
    InstrumentParams p;
    p.wave = Wave::Noise;
    p.attackS = 0.001f;
    p.decayS = 0.3f;
    p.sustain = 0.0f;
    p.filter = FilterMode::HighPass;
    p.cutoffHz = 6500.0f;
    p.resonance = 0.3f;
    p.gain = 0.35f;
    p.pan = -0.2f;
    p.delaySend = 0.05f;
    p.polyphony = 2;
    return p;
}

// Crash cymbal: bright noise with a long decay.
InstrumentParams crashSound()
{
    InstrumentParams p;
    p.wave = Wave::Noise;
    p.attackS = 0.001f;
    p.decayS = 2.5f;
    p.sustain = 0.0f;
    p.filter = FilterMode::HighPass;
    p.cutoffHz = 3500.0f;
    p.resonance = 0.1f;
    p.gain = 0.32f;
    p.reverbSend = 0.2f;
    p.polyphony = 2;
    return p;
}

// Bass: two detuned saws through a plucky, resonant low-pass.
InstrumentParams bassSound()
{
    InstrumentParams p;
    p.wave = Wave::Saw;
    p.unison = 2;
    p.detuneCents = 10.0f;
    p.attackS = 0.003f;
    p.decayS = 0.4f;
    p.sustain = 0.6f;
    p.releaseS = 0.06f;
    p.filter = FilterMode::LowPass;
    p.cutoffHz = 220.0f;
    p.resonance = 0.35f;
    p.filterEnvOctaves = 2.8f;
    p.filterEnvDecayS = 0.25f;
    p.keyTrack = 0.5f;
    p.velocityToCutoff = 1.5f;
    p.gain = 0.42f;
    p.duckDepth = 0.5f;
    p.polyphony = 1;
    return p;
}

// Pad: four detuned saws spread across the stereo field, slow to swell, through a low-pass.
InstrumentParams padSound()
{
    InstrumentParams p;
    p.wave = Wave::Saw;
    p.unison = 4;
    p.detuneCents = 22.0f;
    p.stereoWidth = 0.9f;
    p.attackS = 0.6f;
    p.decayS = 1.5f;
    p.sustain = 0.75f;
    p.releaseS = 1.2f;
    p.filter = FilterMode::LowPass;
    p.cutoffHz = 1600.0f;
    p.resonance = 0.2f;
    p.keyTrack = 0.3f;
    p.velocityToCutoff = 3.0f;
    p.gain = 0.14f;
    p.delaySend = 0.05f;
    p.reverbSend = 0.35f;
    p.duckDepth = 0.55f;
    p.polyphony = 8;
    return p;
}

// Arpeggio: a narrow pulse plucked through a resonant low-pass, echoed by the delay.
InstrumentParams arpSound()
{
    InstrumentParams p;
    p.wave = Wave::Square;
    p.pulseWidth = 0.3f;
    p.attackS = 0.002f;
    p.decayS = 0.35f;
    p.sustain = 0.0f;
    p.releaseS = 0.1f;
    p.filter = FilterMode::LowPass;
    p.cutoffHz = 1400.0f;
    p.resonance = 0.45f;
    p.filterEnvOctaves = 2.5f;
    p.filterEnvDecayS = 0.18f;
    p.keyTrack = 0.5f;
    p.velocityToCutoff = 2.0f;
    p.gain = 0.19f;
    p.pan = 0.3f;
    p.delaySend = 0.35f;
    p.reverbSend = 0.12f;
    p.duckDepth = 0.3f;
    p.polyphony = 4;
    return p;
}

// Lead: two detuned saws with vibrato, singing over the groove.
InstrumentParams leadSound()
{
    InstrumentParams p;
    p.wave = Wave::Saw;
    p.unison = 2;
    p.detuneCents = 14.0f;
    p.stereoWidth = 0.5f;
    p.vibratoHz = 5.2f;
    p.vibratoCents = 12.0f;
    p.attackS = 0.008f;
    p.decayS = 0.6f;
    p.sustain = 0.65f;
    p.releaseS = 0.18f;
    p.filter = FilterMode::LowPass;
    p.cutoffHz = 1800.0f;
    p.resonance = 0.3f;
    p.filterEnvOctaves = 1.5f;
    p.filterEnvDecayS = 0.4f;
    p.keyTrack = 0.4f;
    p.gain = 0.22f;
    p.pan = -0.1f;
    p.delaySend = 0.3f;
    p.reverbSend = 0.2f;
    p.polyphony = 2;
    return p;
}

// Bell: two-operator FM with an inharmonic ratio, long ring.
InstrumentParams bellSound()
{
    InstrumentParams p;
    p.wave = Wave::Sine;
    p.fmRatio = 3.5f;
    p.fmIndex = 1.2f;
    p.fmDecayS = 1.2f;
    p.attackS = 0.001f;
    p.decayS = 3.0f;
    p.sustain = 0.0f;
    p.releaseS = 1.5f;
    p.gain = 0.25f;
    p.pan = -0.3f;
    p.delaySend = 0.45f;
    p.reverbSend = 0.4f;
    p.polyphony = 6;
    return p;
}

// Chord stab: three detuned saws with a snappy filter sweep.
InstrumentParams stabSound()
{
    InstrumentParams p;
    p.wave = Wave::Saw;
    p.unison = 3;
    p.detuneCents = 18.0f;
    p.stereoWidth = 0.7f;
    p.attackS = 0.002f;
    p.decayS = 0.6f;
    p.sustain = 0.0f;
    p.releaseS = 0.2f;
    p.filter = FilterMode::LowPass;
    p.cutoffHz = 700.0f;
    p.resonance = 0.35f;
    p.filterEnvOctaves = 3.0f;
    p.filterEnvDecayS = 0.35f;
    p.gain = 0.45f;
    p.delaySend = 0.2f;
    p.reverbSend = 0.35f;
    p.duckDepth = 0.3f;
    p.polyphony = 8;
    return p;
}

// Riser: band-passed noise whose centre climbs five octaves as it swells.
InstrumentParams riserSound()
{
    InstrumentParams p;
    p.wave = Wave::Noise;
    p.attackS = 6.0f;
    p.decayS = 0.1f;
    p.sustain = 1.0f;
    p.releaseS = 0.4f;
    p.filter = FilterMode::BandPass;
    p.cutoffHz = 250.0f;
    p.resonance = 0.7f;
    p.filterEnvOctaves = 5.0f;
    p.filterEnvFromAmp = true;
    p.gain = 0.5f;
    p.reverbSend = 0.3f;
    p.polyphony = 1;
    return p;
}

// All instruments, indexed by track number.
std::vector<InstrumentParams> songInstruments()
{
    std::vector<InstrumentParams> instruments(trackCount);
    instruments[kickTrack] = kickSound();
    instruments[snareTrack] = snareSound();
    instruments[closedHatTrack] = closedHatSound();
    instruments[openHatTrack] = openHatSound();
    instruments[crashTrack] = crashSound();
    instruments[bassTrack] = bassSound();
    instruments[padTrack] = padSound();
    instruments[arpTrack] = arpSound();
    instruments[leadTrack] = leadSound();
    instruments[bellTrack] = bellSound();
    instruments[stabTrack] = stabSound();
    instruments[riserTrack] = riserSound();
    return instruments;
}

// The shared delay, reverb and side-chain settings.
EffectParams songEffects()
{
    EffectParams e;
    e.delayMs = 3.0f * sixteenthLengthMs; // dotted eighth: echoes fall between the beats
    e.delayFeedback = 0.38f;
    e.delayDamping = 0.35f;
    e.delayLevel = 0.8f;
    e.reverbFeedback = 0.8f;
    e.reverbDamping = 0.3f;
    e.reverbLevel = 0.9f;
    e.duckReleaseS = 0.22f;
    return e;
}

// ---- Pattern helpers ---------------------------------------------------------------------------

// Velocity at `sixteenth` of a span that ramps from `from` to `to`.
float ramp(Span span, int sixteenth, float from, float to)
{
    const float length = static_cast<float>(span.end - span.first);
    return from + (to - from) * static_cast<float>(sixteenth - span.first) / length;
}

// The chord sounding at grid point `sixteenth` (at or after the progression's origin).
const Chord& chordAt(const Progression& progression, int sixteenth)
{
    const size_t index =
        static_cast<size_t>((sixteenth - progression.origin) / progression.sixteenthsPerChord);
    return progression.chords[index % progression.chords.size()];
}

// Adds a note lasting `sixteenths` grid steps (fractions allowed) from grid point `start`.
void addNote(Score& score, int track, int start, float sixteenths, int note, float velocity)
{
    NoteEvent e;
    e.startFrame = sixteenthFrame(start);
    e.gateFrames =
        std::lround(sixteenths * static_cast<float>(sixteenthLengthMs) * sampleRate / 1000.0f);
    e.track = track;
    e.note = note;
    e.velocity = velocity;
    score.events.push_back(e);
}

// A drum hit whose decay, not its gate, sets its length.
void addHit(Score& score, int track, int start, int note, float velocity)
{
    addNote(score, track, start, drumGateSeconds * 1000.0f / sixteenthLengthMs, note, velocity);
}

// Velocity scale of a pattern step: 'X' full, 'x' medium, 'o' soft, anything else a rest.
float stepAccent(char step)
{
    switch (step) {
    case 'X': return 1.0f;
    case 'x': return 0.7f;
    case 'o': return 0.45f;
    default: return 0.0f;
    }
}

// Plays a looping drum pattern (one character per sixteenth) over the span, loudness ramping.
void addDrums(Score& score, int track, int note, const char* pattern, Span span, float from,
              float to)
{
    const int length = static_cast<int>(std::strlen(pattern));
    for (int s = span.first; s < span.end; ++s) {
        const float accent = stepAccent(pattern[(s - span.first) % length]);
        if (accent > 0.0f) {
            addHit(score, track, s, note, accent * ramp(span, s, from, to));
        }
    }
}

// Number of '-' holds that follow position `index` of a looping pattern, within the span.
int holdLength(const char* pattern, int length, int index, int remaining)
{
    int holds = 0;
    while (holds + 1 < remaining && pattern[(index + holds + 1) % length] == '-') {
        ++holds;
    }
    return holds;
}

// Plays a bass pattern over the chords: 'R' root, 'O' octave, 'F' fifth, '-' holds, '.' rests.
void addBass(Score& score, const char* pattern, const Progression& progression, Span span,
             float from, float to)
{
    const int length = static_cast<int>(std::strlen(pattern));
    for (int s = span.first; s < span.end; ++s) {
        const int local = s - span.first;
        const char step = pattern[local % length];
        const int root = chordAt(progression, s).bass;
        int note = 0;
        if (step == 'R') {
            note = root;
        } else if (step == 'O') {
            note = root + 12;
        } else if (step == 'F') {
            note = root + 7;
        } else {
            continue;
        }
        const int holds = holdLength(pattern, length, local % length, span.end - s);
        addNote(score, bassTrack, s, staccato * static_cast<float>(1 + holds), note,
                ramp(span, s, from, to));
    }
}

// Holds each chord of the progression on `track` for its full length, `transpose` semitones up.
void addChords(Score& score, int track, const Progression& progression, Span span, int transpose,
               float from, float to)
{
    for (int s = span.first; s < span.end;) {
        const Chord& chord = chordAt(progression, s);
        const int chordEnd = s + progression.sixteenthsPerChord -
                             (s - progression.origin) % progression.sixteenthsPerChord;
        const int length = std::min(chordEnd, span.end) - s;
        for (int note : chord.pad) {
            addNote(score, track, s, static_cast<float>(length), note + transpose,
                    ramp(span, s, from, to));
        }
        s += length;
    }
}

// One short chord hit an octave up at grid point `at`.
void addStab(Score& score, const Chord& chord, int at, float velocity)
{
    for (int note : chord.pad) {
        addNote(score, stabTrack, at, 2.0f, note + 12, velocity);
    }
}

// Plays an arpeggio: digits '0'-'3' pick chord tones, anything else rests; loudness ramps.
void addArpeggio(Score& score, const char* pattern, const Progression& progression, Span span,
                 int transpose, float from, float to)
{
    const int length = static_cast<int>(std::strlen(pattern));
    for (int s = span.first; s < span.end; ++s) {
        const int local = s - span.first;
        const char step = pattern[local % length];
        if (step < '0' || step > '3') {
            continue;
        }
        const int note = chordAt(progression, s).arp[step - '0'] + transpose;
        addNote(score, arpTrack, s, 1.0f, note, ramp(span, s, from, to));
    }
}

// Plays a written melody from the span's start, looping every `loopSixteenths`.
void addMelody(Score& score, int track, const std::vector<MelodyNote>& melody, int loopSixteenths,
               Span span, float velocity)
{
    for (int loopStart = span.first; loopStart < span.end; loopStart += loopSixteenths) {
        for (const MelodyNote& n : melody) {
            const int start = loopStart + n.start;
            if (start >= span.end) {
                continue;
            }
            const int length = std::min(n.length, span.end - start);
            addNote(score, track, start, staccato * static_cast<float>(length), n.note, velocity);
        }
    }
}

// Cymbal crash marking a section start or an accent on the beat.
void addDownbeat(Score& score, int at, float velocity)
{
    addHit(score, crashTrack, at, 60, velocity);
}

// The part of `span` between two offsets from its start, never reaching past its end.
Span subSpan(Span span, int firstOffset, int endOffset)
{
    return Span{span.first + firstOffset, std::min(span.first + endOffset, span.end)};
}

// ---- The parts ---------------------------------------------------------------------------------

// Am F C G, one bar each, from grid point `origin`.
Progression mainProgression(int origin)
{
    return Progression{{aMinor, fMajor, cMajor, gMajor}, sixteenthsPerBar, origin};
}

// First melody, eight bars over Am F C G twice; second half answers the first an octave step
// higher.
const std::vector<MelodyNote>& verseMelody()
{
    static const std::vector<MelodyNote> melody{
        {0, 4, 69},   {4, 4, 72},   {8, 6, 76},   {14, 2, 74},                // Am
        {16, 6, 72},  {22, 6, 69},  {28, 2, 77},  {30, 2, 76},                // F
        {32, 6, 76},  {38, 4, 79},  {42, 2, 76},  {44, 2, 74},  {46, 2, 72},  // C
        {48, 8, 74},  {56, 4, 71},  {60, 4, 74},                              // G
        {64, 4, 76},  {68, 4, 81},  {72, 4, 79},  {76, 4, 76},                // Am
        {80, 6, 77},  {86, 4, 76},  {90, 6, 72},                              // F
        {96, 4, 79},  {100, 4, 76}, {104, 4, 72}, {108, 2, 76}, {110, 2, 79}, // C
        {112, 8, 79}, {120, 4, 74}, {124, 4, 71},                             // G
    };
    return melody;
}

// Climax melody over F G Em Am F G E, in the upper octave.
const std::vector<MelodyNote>& climaxMelody()
{
    static const std::vector<MelodyNote> melody{
        {0, 6, 81},  {6, 4, 84},   {10, 2, 81},  {12, 2, 79}, {14, 2, 77}, // F
        {16, 6, 79}, {22, 4, 83},  {26, 6, 86},                            // G
        {32, 6, 83}, {38, 4, 79},  {42, 6, 76},                            // Em
        {48, 8, 81}, {56, 4, 84},  {60, 4, 83},                            // Am
        {64, 6, 81}, {70, 4, 84},  {74, 2, 81},  {76, 2, 79}, {78, 2, 77}, // F
        {80, 6, 79}, {86, 4, 83},  {90, 6, 86},                            // G
        {96, 6, 80}, {102, 4, 83}, {106, 4, 88},                           // E
    };
    return melody;
}

// 0-20 s: pad chords opening up, bells falling with the titles, heartbeat kick, riser and snare
// roll.
void composeOpening(Score& score, Span span)
{
    const Progression slow{
        {aMinor, fMajor, cMajor, gMajor, eMajor}, 2 * sixteenthsPerBar, span.first};
    const int length = span.end - span.first;
    addChords(score, padTrack, slow, span, 0, 0.45f, 0.95f);
    addBass(score, "R-------------------------------", slow, subSpan(span, 64, length), 0.35f,
            0.6f);

    // Titles fall in from 5.3 s: a falling A minor pentatonic, one bell per beat.
    const int titles = sectionSixteenth(5300) - span.first;
    const int falling[] = {93, 91, 88, 86, 84, 81, 79, 76, 74, 72, 69, 64};
    for (int i = 0; i < 12; ++i) {
        addHit(score, bellTrack, span.first + titles + 4 * i, falling[i],
               0.75f - 0.03f * static_cast<float>(i));
    }

    addDrums(score, kickTrack, 33, "X.......", subSpan(span, 96, 128), 0.35f, 0.55f);
    addDrums(score, kickTrack, 33, "X...", subSpan(span, 128, length), 0.55f, 0.8f);
    addDrums(score, closedHatTrack, 60, "o.x.", subSpan(span, 128, length), 0.3f, 0.6f);
    addNote(score, riserTrack, span.first + 108, static_cast<float>(length - 108), 60, 0.9f);
    addDrums(score, snareTrack, 54, "X", subSpan(span, 140, length), 0.15f, 0.8f);
}

// 20-50 s, the rocking tile wall: rocking octave bass, kick on one and three, off-beat hats and a
// soft eighth-note arpeggio rocking up and down; the back half adds a light clap and more hats.
void composeTiles(Score& score, Span span)
{
    const Progression chords = mainProgression(span.first);
    const Span backHalf = subSpan(span, 8 * sixteenthsPerBar, span.end - span.first);
    addDownbeat(score, span.first, 0.8f);
    addChords(score, padTrack, chords, span, 0, 0.65f, 0.75f);
    addBass(score, "R-O-R-O-R-O-R-O-", chords, span, 0.7f, 0.85f);
    addDrums(score, kickTrack, 33, "X.......X.......", span, 0.85f, 0.9f);
    addDrums(score, closedHatTrack, 60, "..x...x...x...x.", span, 0.7f, 0.8f);
    addDrums(score, snareTrack, 54, "....x.......x...", backHalf, 0.6f, 0.7f);
    addDrums(score, closedHatTrack, 60, "o...o...o...o...", backHalf, 0.6f, 0.7f);
    addArpeggio(score, "0.1.2.3.2.1.0.1.", chords, span, 0, 0.3f, 0.6f);
}

// 50-60 s, spinning sprites: a sixteenth-note arpeggio that spins faster in brightness, held bass,
// sixteenth hats, a riser and a snare roll into the drop.
void composeSpin(Score& score, Span span)
{
    const Progression build{{fMajor, gMajor, eMinor, aMinor, eMajor}, sixteenthsPerBar, span.first};
    const int length = span.end - span.first;
    addDownbeat(score, span.first, 0.5f);
    addChords(score, padTrack, build, span, 0, 0.55f, 0.8f);
    addBass(score, "R---------------", build, span, 0.6f, 0.8f);
    addArpeggio(score, "0123012301230123", build, span, 0, 0.5f, 1.0f);
    addDrums(score, closedHatTrack, 60, "xoxo", span, 0.5f, 0.9f);
    addDrums(score, kickTrack, 33, "X.......X.......", subSpan(span, 2 * sixteenthsPerBar, length),
             0.8f, 0.9f);
    addNote(score, riserTrack, span.first + length - 47, 47.0f, 60, 1.0f);
    addDrums(score, snareTrack, 54, "X.", subSpan(span, length - 32, length - 16), 0.3f, 0.6f);
    addDrums(score, snareTrack, 54, "X", subSpan(span, length - 16, length), 0.6f, 1.0f);
}

// The driving beat of 60-100 s: four-on-the-floor kick, clap on two and four, sixteenth hats
// with open hats on the off-beats, the rocking bass on every eighth and the spinning arpeggio.
void composeGroove(Score& score, Span span, float intensity)
{
    const Progression chords = mainProgression(span.first);
    addChords(score, padTrack, chords, span, 0, 0.8f * intensity, 0.85f * intensity);
    addBass(score, "R-O-R-O-R-O-F-O-", chords, span, intensity, intensity);
    addDrums(score, kickTrack, 33, "X...X...X...X...", span, 1.0f, 1.0f);
    addDrums(score, snareTrack, 54, "....X.......X...", span, 0.9f, 0.9f);
    addDrums(score, closedHatTrack, 60, "xo.oxo.oxo.oxo.o", span, 0.9f, 0.9f);
    addDrums(score, openHatTrack, 62, "..X...X...X...X.", span, 0.8f, 0.8f);
    addArpeggio(score, "0123210301232103", chords, span, 0, 0.7f * intensity, 0.8f * intensity);
}

// 60-75 s: the full beat arrives with the red flashes.
void composeFullBeat(Score& score, Span span)
{
    addDownbeat(score, span.first, 1.0f);
    composeGroove(score, span, 1.0f);
}

// 75-100 s: the lead melody joins; the three text lines at 80, 88 and 96 s get a crash, a
// chord stab and a high bell.
void composeLead(Score& score, Span span)
{
    addDownbeat(score, span.first, 0.9f);
    composeGroove(score, span, 1.0f);
    addMelody(score, leadTrack, verseMelody(), 8 * sixteenthsPerBar, span, 0.9f);
    const int64_t textLinesMs[] = {80000, 88000, 96000};
    for (int64_t ms : textLinesMs) {
        const int at = sectionSixteenth(ms);
        addDownbeat(score, at, 0.9f);
        addStab(score, chordAt(mainProgression(span.first), at), at, 1.0f);
        addHit(score, bellTrack, at, 93, 0.7f);
    }
}

// 100-114 s: everything at once over a lifted progression, stabs on every bar, closing snare fill.
void composeClimax(Score& score, Span span)
{
    const Progression lifted{
        {fMajor, gMajor, eMinor, aMinor, fMajor, gMajor, eMajor}, sixteenthsPerBar, span.first};
    const int length = span.end - span.first;
    addDownbeat(score, span.first, 1.0f);
    addDownbeat(score, span.first + 4 * sixteenthsPerBar, 0.8f);
    addChords(score, padTrack, lifted, span, 0, 1.0f, 1.0f);
    addChords(score, stabTrack, lifted, span, 12, 0.6f, 0.75f);
    addBass(score, "R-O-R-O-R-O-F-O-", lifted, span, 1.0f, 1.0f);
    addDrums(score, kickTrack, 33, "X...X...X...X...", span, 1.0f, 1.0f);
    addDrums(score, snareTrack, 54, "....X.......X...", subSpan(span, 0, length - 8), 0.95f, 0.95f);
    addDrums(score, snareTrack, 54, "X", subSpan(span, length - 8, length), 0.6f, 1.0f);
    addDrums(score, closedHatTrack, 60, "xoxoxoxoxoxoxoxo", span, 0.9f, 0.9f);
    addDrums(score, openHatTrack, 62, "..X...X...X...X.", span, 0.9f, 0.9f);
    addArpeggio(score, "0123210301232103", lifted, span, 12, 0.75f, 0.85f);
    addMelody(score, leadTrack, climaxMelody(), 8 * sixteenthsPerBar, span, 1.0f);
}

// 114-120 s, the credits: one last boom, a held A minor pad, a low A and slow falling bells.
void composeCredits(Score& score, Span span)
{
    addDownbeat(score, span.first, 0.7f);
    addHit(score, kickTrack, span.first, 33, 0.9f);
    const Progression rest{{aMinor}, 2 * sixteenthsPerBar, span.first};
    addChords(score, padTrack, rest, subSpan(span, 0, 2 * sixteenthsPerBar), 0, 0.6f, 0.6f);
    addNote(score, bassTrack, span.first, 24.0f, aMinor.bass, 0.5f);
    const int falling[] = {81, 79, 76, 74, 72, 69, 64, 57};
    for (int i = 0; i < 8; ++i) {
        addHit(score, bellTrack, span.first + 4 * i, falling[i],
               0.6f - 0.04f * static_cast<float>(i));
    }
}

} // namespace

int64_t msToFrame(int64_t ms)
{
    return (ms * sampleRate + 500) / 1000;
}

int64_t sixteenthMs(int sixteenth)
{
    return gridOffsetMs + sixteenthLengthMs * sixteenth;
}

int64_t sixteenthFrame(int sixteenth)
{
    return msToFrame(sixteenthMs(sixteenth));
}

int sectionSixteenth(int64_t ms)
{
    // Eighth n sits at 128 + 256 n ms, so the nearest one (later on a tie) is ms / 256.
    return 2 * static_cast<int>(ms / (2 * sixteenthLengthMs));
}

Score composeSong()
{
    Score score;
    score.instruments = songInstruments();
    score.effects = songEffects();
    score.lengthFrames = msToFrame(songLengthMs);
    const Sections sections = songSections();
    composeOpening(score, sections.opening);
    composeTiles(score, sections.tiles);
    composeSpin(score, sections.spin);
    composeFullBeat(score, sections.fullBeat);
    composeLead(score, sections.lead);
    composeClimax(score, sections.climax);
    composeCredits(score, sections.credits);
    sortEvents(score.events);
    return score;
}

std::vector<float> renderSong(const Score& score)
{
    std::vector<float> samples = renderScore(score);
    // The encoder drops the top band anyway; taking it out first keeps the decoded peaks near
    // where they are normalised.
    softenTopEnd(samples, 16000.0f);
    // The loudest hits (kick, snare and bass together) stand well over the body of the mix; a
    // fast limiter pulls them down 4 dB so the normalised piece is louder without hard clipping.
    normalisePeak(samples, 1.0f);
    limitPeaks(samples, 0.6f, 0.08f);
    fadeOut(samples, msToFrame(fadeStartMs), score.lengthFrames);
    const float minusOneDb = 0.891250938f;
    normalisePeak(samples, minusOneDb);
    return samples;
}
