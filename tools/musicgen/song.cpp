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

constexpr Chord kAm{33, {57, 60, 64}, {69, 72, 76, 81}};
constexpr Chord kF{29, {57, 60, 65}, {65, 69, 72, 77}};
constexpr Chord kC{36, {55, 60, 64}, {67, 72, 76, 79}};
constexpr Chord kG{31, {55, 59, 62}, {67, 71, 74, 79}};
constexpr Chord kEm{28, {55, 59, 64}, {64, 67, 71, 76}};
// E major: the raised G# pulls back to A minor at the end of a build.
constexpr Chord kE{28, {56, 59, 64}, {64, 68, 71, 76}};

// Chords in order from grid point `origin`, each lasting `sixteenths_per_chord`, repeating.
struct Progression {
    std::vector<Chord> chords;
    int sixteenths_per_chord;
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

constexpr int kSixteenthsPerBar = 16;
constexpr float kDrumGateSeconds = 1.0f;
constexpr float kStaccato = 0.85f;

// Sections, as grid sixteenths (each the nearest eighth to its scene boundary).
struct Sections {
    Span opening;
    Span tiles;
    Span spin;
    Span full_beat;
    Span lead;
    Span climax;
    Span credits;
};

// The section spans of the song, from the scene boundaries of the picture.
Sections song_sections()
{
    const int tiles = section_sixteenth(kSceneTilesMs);
    const int spin = section_sixteenth(kSceneSpinMs);
    const int full = section_sixteenth(kFullBeatMs);
    const int lead = section_sixteenth(kLeadEntryMs);
    const int climax = section_sixteenth(kClimaxMs);
    const int credits = section_sixteenth(kCreditsMs);
    const int end = static_cast<int>((kSongLengthMs - kGridOffsetMs) / kSixteenthMs);
    return Sections{{0, tiles},     {tiles, spin},     {spin, full},  {full, lead},
                    {lead, climax}, {climax, credits}, {credits, end}};
}

// ---- Instruments -------------------------------------------------------------------------------

// Kick: a sine falling three octaves in pitch, with a click of filtered noise.
InstrumentParams kick_sound()
{
    InstrumentParams p;
    p.wave = Wave::Sine;
    p.pitch_env_semitones = 36.0f;
    p.pitch_env_decay_s = 0.12f;
    p.noise_mix = 0.08f;
    p.attack_s = 0.0005f;
    p.decay_s = 0.5f;
    p.sustain = 0.0f;
    p.release_s = 0.05f;
    p.filter = FilterMode::LowPass;
    p.cutoff_hz = 180.0f;
    p.filter_env_octaves = 5.5f;
    p.filter_env_decay_s = 0.04f;
    p.gain = 0.95f;
    p.triggers_duck = true;
    p.reset_phase = true;
    p.polyphony = 1;
    return p;
}

// Snare: a short pitched body under noise.
InstrumentParams snare_sound()
{
    InstrumentParams p;
    p.wave = Wave::Sine;
    p.pitch_env_semitones = 12.0f;
    p.pitch_env_decay_s = 0.05f;
    p.noise_mix = 0.65f;
    p.attack_s = 0.0005f;
    p.decay_s = 0.22f;
    p.sustain = 0.0f;
    p.release_s = 0.05f;
    // Low-pass, not high-pass: a snare's rattle thins out above a few kHz, and full-band noise
    // would only sound harsh (and make the encoder overshoot on every hit).
    p.filter = FilterMode::LowPass;
    p.cutoff_hz = 4500.0f;
    p.resonance = 0.25f;
    p.filter_env_octaves = 1.0f;
    p.filter_env_decay_s = 0.08f;
    p.gain = 1.0f;
    p.reverb_send = 0.25f;
    p.reset_phase = true;
    p.polyphony = 2;
    return p;
}

// Closed hi-hat: a tick of high-passed noise.
InstrumentParams closed_hat_sound()
{
    InstrumentParams p;
    p.wave = Wave::Noise;
    p.attack_s = 0.0005f;
    p.decay_s = 0.05f;
    p.sustain = 0.0f;
    p.filter = FilterMode::HighPass;
    p.cutoff_hz = 8000.0f;
    p.resonance = 0.3f;
    p.gain = 0.7f;
    p.pan = 0.25f;
    p.polyphony = 2;
    return p;
}

// Open hi-hat: high-passed noise ringing a little longer.
InstrumentParams open_hat_sound()
{
    InstrumentParams p;
    p.wave = Wave::Noise;
    p.attack_s = 0.001f;
    p.decay_s = 0.3f;
    p.sustain = 0.0f;
    p.filter = FilterMode::HighPass;
    p.cutoff_hz = 6500.0f;
    p.resonance = 0.3f;
    p.gain = 0.35f;
    p.pan = -0.2f;
    p.delay_send = 0.05f;
    p.polyphony = 2;
    return p;
}

// Crash cymbal: bright noise with a long decay.
InstrumentParams crash_sound()
{
    InstrumentParams p;
    p.wave = Wave::Noise;
    p.attack_s = 0.001f;
    p.decay_s = 2.5f;
    p.sustain = 0.0f;
    p.filter = FilterMode::HighPass;
    p.cutoff_hz = 3500.0f;
    p.resonance = 0.1f;
    p.gain = 0.32f;
    p.reverb_send = 0.2f;
    p.polyphony = 2;
    return p;
}

// Bass: two detuned saws through a plucky, resonant low-pass.
InstrumentParams bass_sound()
{
    InstrumentParams p;
    p.wave = Wave::Saw;
    p.unison = 2;
    p.detune_cents = 10.0f;
    p.attack_s = 0.003f;
    p.decay_s = 0.4f;
    p.sustain = 0.6f;
    p.release_s = 0.06f;
    p.filter = FilterMode::LowPass;
    p.cutoff_hz = 220.0f;
    p.resonance = 0.35f;
    p.filter_env_octaves = 2.8f;
    p.filter_env_decay_s = 0.25f;
    p.key_track = 0.5f;
    p.velocity_to_cutoff = 1.5f;
    p.gain = 0.42f;
    p.duck_depth = 0.5f;
    p.polyphony = 1;
    return p;
}

// Pad: four detuned saws spread across the stereo field, slow to swell, through a low-pass.
InstrumentParams pad_sound()
{
    InstrumentParams p;
    p.wave = Wave::Saw;
    p.unison = 4;
    p.detune_cents = 22.0f;
    p.stereo_width = 0.9f;
    p.attack_s = 0.6f;
    p.decay_s = 1.5f;
    p.sustain = 0.75f;
    p.release_s = 1.2f;
    p.filter = FilterMode::LowPass;
    p.cutoff_hz = 1600.0f;
    p.resonance = 0.2f;
    p.key_track = 0.3f;
    p.velocity_to_cutoff = 3.0f;
    p.gain = 0.14f;
    p.delay_send = 0.05f;
    p.reverb_send = 0.35f;
    p.duck_depth = 0.55f;
    p.polyphony = 8;
    return p;
}

// Arpeggio: a narrow pulse plucked through a resonant low-pass, echoed by the delay.
InstrumentParams arp_sound()
{
    InstrumentParams p;
    p.wave = Wave::Square;
    p.pulse_width = 0.3f;
    p.attack_s = 0.002f;
    p.decay_s = 0.35f;
    p.sustain = 0.0f;
    p.release_s = 0.1f;
    p.filter = FilterMode::LowPass;
    p.cutoff_hz = 1400.0f;
    p.resonance = 0.45f;
    p.filter_env_octaves = 2.5f;
    p.filter_env_decay_s = 0.18f;
    p.key_track = 0.5f;
    p.velocity_to_cutoff = 2.0f;
    p.gain = 0.19f;
    p.pan = 0.3f;
    p.delay_send = 0.35f;
    p.reverb_send = 0.12f;
    p.duck_depth = 0.3f;
    p.polyphony = 4;
    return p;
}

// Lead: two detuned saws with vibrato, singing over the groove.
InstrumentParams lead_sound()
{
    InstrumentParams p;
    p.wave = Wave::Saw;
    p.unison = 2;
    p.detune_cents = 14.0f;
    p.stereo_width = 0.5f;
    p.vibrato_hz = 5.2f;
    p.vibrato_cents = 12.0f;
    p.attack_s = 0.008f;
    p.decay_s = 0.6f;
    p.sustain = 0.65f;
    p.release_s = 0.18f;
    p.filter = FilterMode::LowPass;
    p.cutoff_hz = 1800.0f;
    p.resonance = 0.3f;
    p.filter_env_octaves = 1.5f;
    p.filter_env_decay_s = 0.4f;
    p.key_track = 0.4f;
    p.gain = 0.22f;
    p.pan = -0.1f;
    p.delay_send = 0.3f;
    p.reverb_send = 0.2f;
    p.polyphony = 2;
    return p;
}

// Bell: two-operator FM with an inharmonic ratio, long ring.
InstrumentParams bell_sound()
{
    InstrumentParams p;
    p.wave = Wave::Sine;
    p.fm_ratio = 3.5f;
    p.fm_index = 1.2f;
    p.fm_decay_s = 1.2f;
    p.attack_s = 0.001f;
    p.decay_s = 3.0f;
    p.sustain = 0.0f;
    p.release_s = 1.5f;
    p.gain = 0.25f;
    p.pan = -0.3f;
    p.delay_send = 0.45f;
    p.reverb_send = 0.4f;
    p.polyphony = 6;
    return p;
}

// Chord stab: three detuned saws with a snappy filter sweep.
InstrumentParams stab_sound()
{
    InstrumentParams p;
    p.wave = Wave::Saw;
    p.unison = 3;
    p.detune_cents = 18.0f;
    p.stereo_width = 0.7f;
    p.attack_s = 0.002f;
    p.decay_s = 0.6f;
    p.sustain = 0.0f;
    p.release_s = 0.2f;
    p.filter = FilterMode::LowPass;
    p.cutoff_hz = 700.0f;
    p.resonance = 0.35f;
    p.filter_env_octaves = 3.0f;
    p.filter_env_decay_s = 0.35f;
    p.gain = 0.45f;
    p.delay_send = 0.2f;
    p.reverb_send = 0.35f;
    p.duck_depth = 0.3f;
    p.polyphony = 8;
    return p;
}

// Riser: band-passed noise whose centre climbs five octaves as it swells.
InstrumentParams riser_sound()
{
    InstrumentParams p;
    p.wave = Wave::Noise;
    p.attack_s = 6.0f;
    p.decay_s = 0.1f;
    p.sustain = 1.0f;
    p.release_s = 0.4f;
    p.filter = FilterMode::BandPass;
    p.cutoff_hz = 250.0f;
    p.resonance = 0.7f;
    p.filter_env_octaves = 5.0f;
    p.filter_env_from_amp = true;
    p.gain = 0.5f;
    p.reverb_send = 0.3f;
    p.polyphony = 1;
    return p;
}

// All instruments, indexed by track number.
std::vector<InstrumentParams> song_instruments()
{
    std::vector<InstrumentParams> instruments(kTrackCount);
    instruments[kKick] = kick_sound();
    instruments[kSnare] = snare_sound();
    instruments[kClosedHat] = closed_hat_sound();
    instruments[kOpenHat] = open_hat_sound();
    instruments[kCrash] = crash_sound();
    instruments[kBass] = bass_sound();
    instruments[kPad] = pad_sound();
    instruments[kArp] = arp_sound();
    instruments[kLead] = lead_sound();
    instruments[kBell] = bell_sound();
    instruments[kStab] = stab_sound();
    instruments[kRiser] = riser_sound();
    return instruments;
}

// The shared delay, reverb and side-chain settings.
EffectParams song_effects()
{
    EffectParams e;
    e.delay_ms = 3.0f * kSixteenthMs; // dotted eighth: echoes fall between the beats
    e.delay_feedback = 0.38f;
    e.delay_damping = 0.35f;
    e.delay_level = 0.8f;
    e.reverb_feedback = 0.8f;
    e.reverb_damping = 0.3f;
    e.reverb_level = 0.9f;
    e.duck_release_s = 0.22f;
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
const Chord& chord_at(const Progression& progression, int sixteenth)
{
    const size_t index =
        static_cast<size_t>((sixteenth - progression.origin) / progression.sixteenths_per_chord);
    return progression.chords[index % progression.chords.size()];
}

// Adds a note lasting `sixteenths` grid steps (fractions allowed) from grid point `start`.
void add_note(Score& score, int track, int start, float sixteenths, int note, float velocity)
{
    NoteEvent e;
    e.start_frame = sixteenth_frame(start);
    e.gate_frames =
        std::lround(sixteenths * static_cast<float>(kSixteenthMs) * kSampleRate / 1000.0f);
    e.track = track;
    e.note = note;
    e.velocity = velocity;
    score.events.push_back(e);
}

// A drum hit whose decay, not its gate, sets its length.
void add_hit(Score& score, int track, int start, int note, float velocity)
{
    add_note(score, track, start, kDrumGateSeconds * 1000.0f / kSixteenthMs, note, velocity);
}

// Velocity scale of a pattern step: 'X' full, 'x' medium, 'o' soft, anything else a rest.
float step_accent(char step)
{
    switch (step) {
    case 'X': return 1.0f;
    case 'x': return 0.7f;
    case 'o': return 0.45f;
    default: return 0.0f;
    }
}

// Plays a looping drum pattern (one character per sixteenth) over the span, loudness ramping.
void add_drums(Score& score, int track, int note, const char* pattern, Span span, float from,
               float to)
{
    const int length = static_cast<int>(std::strlen(pattern));
    for (int s = span.first; s < span.end; ++s) {
        const float accent = step_accent(pattern[(s - span.first) % length]);
        if (accent > 0.0f) {
            add_hit(score, track, s, note, accent * ramp(span, s, from, to));
        }
    }
}

// Number of '-' holds that follow position `index` of a looping pattern, within the span.
int hold_length(const char* pattern, int length, int index, int remaining)
{
    int holds = 0;
    while (holds + 1 < remaining && pattern[(index + holds + 1) % length] == '-') {
        ++holds;
    }
    return holds;
}

// Plays a bass pattern over the chords: 'R' root, 'O' octave, 'F' fifth, '-' holds, '.' rests.
void add_bass(Score& score, const char* pattern, const Progression& progression, Span span,
              float from, float to)
{
    const int length = static_cast<int>(std::strlen(pattern));
    for (int s = span.first; s < span.end; ++s) {
        const int local = s - span.first;
        const char step = pattern[local % length];
        const int root = chord_at(progression, s).bass;
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
        const int holds = hold_length(pattern, length, local % length, span.end - s);
        add_note(score, kBass, s, kStaccato * static_cast<float>(1 + holds), note,
                 ramp(span, s, from, to));
    }
}

// Holds each chord of the progression on `track` for its full length, `transpose` semitones up.
void add_chords(Score& score, int track, const Progression& progression, Span span, int transpose,
                float from, float to)
{
    for (int s = span.first; s < span.end;) {
        const Chord& chord = chord_at(progression, s);
        const int chord_end = s + progression.sixteenths_per_chord -
                              (s - progression.origin) % progression.sixteenths_per_chord;
        const int length = std::min(chord_end, span.end) - s;
        for (int note : chord.pad) {
            add_note(score, track, s, static_cast<float>(length), note + transpose,
                     ramp(span, s, from, to));
        }
        s += length;
    }
}

// One short chord hit an octave up at grid point `at`.
void add_stab(Score& score, const Chord& chord, int at, float velocity)
{
    for (int note : chord.pad) {
        add_note(score, kStab, at, 2.0f, note + 12, velocity);
    }
}

// Plays an arpeggio: digits '0'-'3' pick chord tones, anything else rests; loudness ramps.
void add_arpeggio(Score& score, const char* pattern, const Progression& progression, Span span,
                  int transpose, float from, float to)
{
    const int length = static_cast<int>(std::strlen(pattern));
    for (int s = span.first; s < span.end; ++s) {
        const int local = s - span.first;
        const char step = pattern[local % length];
        if (step < '0' || step > '3') {
            continue;
        }
        const int note = chord_at(progression, s).arp[step - '0'] + transpose;
        add_note(score, kArp, s, 1.0f, note, ramp(span, s, from, to));
    }
}

// Plays a written melody from the span's start, looping every `loop_sixteenths`.
void add_melody(Score& score, int track, const std::vector<MelodyNote>& melody, int loop_sixteenths,
                Span span, float velocity)
{
    for (int loop_start = span.first; loop_start < span.end; loop_start += loop_sixteenths) {
        for (const MelodyNote& n : melody) {
            const int start = loop_start + n.start;
            if (start >= span.end) {
                continue;
            }
            const int length = std::min(n.length, span.end - start);
            add_note(score, track, start, kStaccato * static_cast<float>(length), n.note, velocity);
        }
    }
}

// Cymbal crash marking a section start or an accent on the beat.
void add_downbeat(Score& score, int at, float velocity)
{
    add_hit(score, kCrash, at, 60, velocity);
}

// The part of `span` between two offsets from its start, never reaching past its end.
Span sub_span(Span span, int first_offset, int end_offset)
{
    return Span{span.first + first_offset, std::min(span.first + end_offset, span.end)};
}

// ---- The parts ---------------------------------------------------------------------------------

// Am F C G, one bar each, from grid point `origin`.
Progression main_progression(int origin)
{
    return Progression{{kAm, kF, kC, kG}, kSixteenthsPerBar, origin};
}

// First melody, eight bars over Am F C G twice; second half answers the first an octave step
// higher.
const std::vector<MelodyNote>& verse_melody()
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
const std::vector<MelodyNote>& climax_melody()
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
void compose_opening(Score& score, Span span)
{
    const Progression slow{{kAm, kF, kC, kG, kE}, 2 * kSixteenthsPerBar, span.first};
    const int length = span.end - span.first;
    add_chords(score, kPad, slow, span, 0, 0.45f, 0.95f);
    add_bass(score, "R-------------------------------", slow, sub_span(span, 64, length), 0.35f,
             0.6f);

    // Titles fall in from 5.3 s: a falling A minor pentatonic, one bell per beat.
    const int titles = section_sixteenth(5300) - span.first;
    const int falling[] = {93, 91, 88, 86, 84, 81, 79, 76, 74, 72, 69, 64};
    for (int i = 0; i < 12; ++i) {
        add_hit(score, kBell, span.first + titles + 4 * i, falling[i],
                0.75f - 0.03f * static_cast<float>(i));
    }

    add_drums(score, kKick, 33, "X.......", sub_span(span, 96, 128), 0.35f, 0.55f);
    add_drums(score, kKick, 33, "X...", sub_span(span, 128, length), 0.55f, 0.8f);
    add_drums(score, kClosedHat, 60, "o.x.", sub_span(span, 128, length), 0.3f, 0.6f);
    add_note(score, kRiser, span.first + 108, static_cast<float>(length - 108), 60, 0.9f);
    add_drums(score, kSnare, 54, "X", sub_span(span, 140, length), 0.15f, 0.8f);
}

// 20-50 s, the rocking tile wall: rocking octave bass, kick on one and three, off-beat hats and a
// soft eighth-note arpeggio rocking up and down; the back half adds a light clap and more hats.
void compose_tiles(Score& score, Span span)
{
    const Progression chords = main_progression(span.first);
    const Span back_half = sub_span(span, 8 * kSixteenthsPerBar, span.end - span.first);
    add_downbeat(score, span.first, 0.8f);
    add_chords(score, kPad, chords, span, 0, 0.65f, 0.75f);
    add_bass(score, "R-O-R-O-R-O-R-O-", chords, span, 0.7f, 0.85f);
    add_drums(score, kKick, 33, "X.......X.......", span, 0.85f, 0.9f);
    add_drums(score, kClosedHat, 60, "..x...x...x...x.", span, 0.7f, 0.8f);
    add_drums(score, kSnare, 54, "....x.......x...", back_half, 0.6f, 0.7f);
    add_drums(score, kClosedHat, 60, "o...o...o...o...", back_half, 0.6f, 0.7f);
    add_arpeggio(score, "0.1.2.3.2.1.0.1.", chords, span, 0, 0.3f, 0.6f);
}

// 50-60 s, spinning sprites: a sixteenth-note arpeggio that spins faster in brightness, held bass,
// sixteenth hats, a riser and a snare roll into the drop.
void compose_spin(Score& score, Span span)
{
    const Progression build{{kF, kG, kEm, kAm, kE}, kSixteenthsPerBar, span.first};
    const int length = span.end - span.first;
    add_downbeat(score, span.first, 0.5f);
    add_chords(score, kPad, build, span, 0, 0.55f, 0.8f);
    add_bass(score, "R---------------", build, span, 0.6f, 0.8f);
    add_arpeggio(score, "0123012301230123", build, span, 0, 0.5f, 1.0f);
    add_drums(score, kClosedHat, 60, "xoxo", span, 0.5f, 0.9f);
    add_drums(score, kKick, 33, "X.......X.......", sub_span(span, 2 * kSixteenthsPerBar, length),
              0.8f, 0.9f);
    add_note(score, kRiser, span.first + length - 47, 47.0f, 60, 1.0f);
    add_drums(score, kSnare, 54, "X.", sub_span(span, length - 32, length - 16), 0.3f, 0.6f);
    add_drums(score, kSnare, 54, "X", sub_span(span, length - 16, length), 0.6f, 1.0f);
}

// The driving beat of 60-100 s: four-on-the-floor kick, clap on two and four, sixteenth hats
// with open hats on the off-beats, the rocking bass on every eighth and the spinning arpeggio.
void compose_groove(Score& score, Span span, float intensity)
{
    const Progression chords = main_progression(span.first);
    add_chords(score, kPad, chords, span, 0, 0.8f * intensity, 0.85f * intensity);
    add_bass(score, "R-O-R-O-R-O-F-O-", chords, span, intensity, intensity);
    add_drums(score, kKick, 33, "X...X...X...X...", span, 1.0f, 1.0f);
    add_drums(score, kSnare, 54, "....X.......X...", span, 0.9f, 0.9f);
    add_drums(score, kClosedHat, 60, "xo.oxo.oxo.oxo.o", span, 0.9f, 0.9f);
    add_drums(score, kOpenHat, 62, "..X...X...X...X.", span, 0.8f, 0.8f);
    add_arpeggio(score, "0123210301232103", chords, span, 0, 0.7f * intensity, 0.8f * intensity);
}

// 60-75 s: the full beat arrives with the red flashes.
void compose_full_beat(Score& score, Span span)
{
    add_downbeat(score, span.first, 1.0f);
    compose_groove(score, span, 1.0f);
}

// 75-100 s: the lead melody joins; the three text lines at 80, 88 and 96 s get a crash, a
// chord stab and a high bell.
void compose_lead(Score& score, Span span)
{
    add_downbeat(score, span.first, 0.9f);
    compose_groove(score, span, 1.0f);
    add_melody(score, kLead, verse_melody(), 8 * kSixteenthsPerBar, span, 0.9f);
    const int64_t text_lines_ms[] = {80000, 88000, 96000};
    for (int64_t ms : text_lines_ms) {
        const int at = section_sixteenth(ms);
        add_downbeat(score, at, 0.9f);
        add_stab(score, chord_at(main_progression(span.first), at), at, 1.0f);
        add_hit(score, kBell, at, 93, 0.7f);
    }
}

// 100-114 s: everything at once over a lifted progression, stabs on every bar, closing snare fill.
void compose_climax(Score& score, Span span)
{
    const Progression lifted{{kF, kG, kEm, kAm, kF, kG, kE}, kSixteenthsPerBar, span.first};
    const int length = span.end - span.first;
    add_downbeat(score, span.first, 1.0f);
    add_downbeat(score, span.first + 4 * kSixteenthsPerBar, 0.8f);
    add_chords(score, kPad, lifted, span, 0, 1.0f, 1.0f);
    add_chords(score, kStab, lifted, span, 12, 0.6f, 0.75f);
    add_bass(score, "R-O-R-O-R-O-F-O-", lifted, span, 1.0f, 1.0f);
    add_drums(score, kKick, 33, "X...X...X...X...", span, 1.0f, 1.0f);
    add_drums(score, kSnare, 54, "....X.......X...", sub_span(span, 0, length - 8), 0.95f, 0.95f);
    add_drums(score, kSnare, 54, "X", sub_span(span, length - 8, length), 0.6f, 1.0f);
    add_drums(score, kClosedHat, 60, "xoxoxoxoxoxoxoxo", span, 0.9f, 0.9f);
    add_drums(score, kOpenHat, 62, "..X...X...X...X.", span, 0.9f, 0.9f);
    add_arpeggio(score, "0123210301232103", lifted, span, 12, 0.75f, 0.85f);
    add_melody(score, kLead, climax_melody(), 8 * kSixteenthsPerBar, span, 1.0f);
}

// 114-120 s, the credits: one last boom, a held A minor pad, a low A and slow falling bells.
void compose_credits(Score& score, Span span)
{
    add_downbeat(score, span.first, 0.7f);
    add_hit(score, kKick, span.first, 33, 0.9f);
    const Progression rest{{kAm}, 2 * kSixteenthsPerBar, span.first};
    add_chords(score, kPad, rest, sub_span(span, 0, 2 * kSixteenthsPerBar), 0, 0.6f, 0.6f);
    add_note(score, kBass, span.first, 24.0f, kAm.bass, 0.5f);
    const int falling[] = {81, 79, 76, 74, 72, 69, 64, 57};
    for (int i = 0; i < 8; ++i) {
        add_hit(score, kBell, span.first + 4 * i, falling[i], 0.6f - 0.04f * static_cast<float>(i));
    }
}

} // namespace

int64_t ms_to_frame(int64_t ms)
{
    return (ms * kSampleRate + 500) / 1000;
}

int64_t sixteenth_ms(int sixteenth)
{
    return kGridOffsetMs + kSixteenthMs * sixteenth;
}

int64_t sixteenth_frame(int sixteenth)
{
    return ms_to_frame(sixteenth_ms(sixteenth));
}

int section_sixteenth(int64_t ms)
{
    // Eighth n sits at 128 + 256 n ms, so the nearest one (later on a tie) is ms / 256.
    return 2 * static_cast<int>(ms / (2 * kSixteenthMs));
}

Score compose_song()
{
    Score score;
    score.instruments = song_instruments();
    score.effects = song_effects();
    score.length_frames = ms_to_frame(kSongLengthMs);
    const Sections sections = song_sections();
    compose_opening(score, sections.opening);
    compose_tiles(score, sections.tiles);
    compose_spin(score, sections.spin);
    compose_full_beat(score, sections.full_beat);
    compose_lead(score, sections.lead);
    compose_climax(score, sections.climax);
    compose_credits(score, sections.credits);
    sort_events(score.events);
    return score;
}

std::vector<float> render_song(const Score& score)
{
    std::vector<float> samples = render_score(score);
    // The encoder drops the top band anyway; taking it out first keeps the decoded peaks near
    // where they are normalised.
    soften_top_end(samples, 16000.0f);
    // The loudest hits (kick, snare and bass together) stand well over the body of the mix; a
    // fast limiter pulls them down 4 dB so the normalised piece is louder without hard clipping.
    normalise_peak(samples, 1.0f);
    limit_peaks(samples, 0.6f, 0.08f);
    fade_out(samples, ms_to_frame(kFadeStartMs), score.length_frames);
    const float minus_one_db = 0.891250938f;
    normalise_peak(samples, minus_one_db);
    return samples;
}
