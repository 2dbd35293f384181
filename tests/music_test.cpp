// Tests of the music generator's synthesiser, sequencer and song: pitch, envelopes, timing, levels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "musicgen/sequencer.h"
#include "musicgen/song.h"
#include "musicgen/synth.h"

namespace {

// A dry score (no delay, no reverb) for one instrument.
Score single_instrument_score(const InstrumentParams& instrument, int64_t length_frames)
{
    Score score;
    score.instruments = {instrument};
    score.length_frames = length_frames;
    return score;
}

NoteEvent note_event(int64_t start_frame, int64_t gate_frames, int track, int note, float velocity)
{
    NoteEvent e;
    e.start_frame = start_frame;
    e.gate_frames = gate_frames;
    e.track = track;
    e.note = note;
    e.velocity = velocity;
    return e;
}

// Upward zero crossings of the left channel in frames [first, end).
int upward_crossings(const std::vector<float>& stereo, int64_t first, int64_t end)
{
    int count = 0;
    for (int64_t f = first + 1; f < end; ++f) {
        if (stereo[static_cast<size_t>(2 * (f - 1))] < 0.0f &&
            stereo[static_cast<size_t>(2 * f)] >= 0.0f) {
            ++count;
        }
    }
    return count;
}

// Root mean square of both channels over frames [first, end).
double rms(const std::vector<float>& stereo, int64_t first, int64_t end)
{
    double sum = 0.0;
    for (int64_t i = 2 * first; i < 2 * end; ++i) {
        const double s = stereo[static_cast<size_t>(i)];
        sum += s * s;
    }
    return std::sqrt(sum / static_cast<double>(2 * (end - first)));
}

// First frame whose left sample is not exactly zero, or -1.
int64_t first_sound(const std::vector<float>& stereo)
{
    for (size_t i = 0; i < stereo.size(); i += 2) {
        if (stereo[i] != 0.0f) {
            return static_cast<int64_t>(i / 2);
        }
    }
    return -1;
}

InstrumentParams held_tone(Wave wave)
{
    InstrumentParams p;
    p.wave = wave;
    p.attack_s = 0.002f;
    p.sustain = 1.0f;
    p.release_s = 0.05f;
    return p;
}

// A short score with drums, chords and both effects: everything that holds state between blocks.
Score tiny_song()
{
    Score score = compose_song();
    score.events.clear();
    score.length_frames = kSampleRate / 2;
    score.events.push_back(note_event(0, 4000, kKick, 33, 1.0f));
    score.events.push_back(note_event(100, 20000, kPad, 57, 0.8f));
    score.events.push_back(note_event(100, 20000, kPad, 60, 0.8f));
    score.events.push_back(note_event(3000, 2000, kClosedHat, 60, 0.9f));
    score.events.push_back(note_event(5645, 3000, kArp, 76, 1.0f));
    score.events.push_back(note_event(11290, 4000, kSnare, 54, 1.0f));
    return score;
}

TEST(MusicSynth, SineVoiceSoundsAtTheNotesFrequency)
{
    Score score = single_instrument_score(held_tone(Wave::Sine), kSampleRate);
    score.events.push_back(note_event(0, kSampleRate, 0, 69, 1.0f));
    const std::vector<float> out = render_score(score);
    // One upward crossing per cycle: 440 per second at A4.
    EXPECT_NEAR(upward_crossings(out, 0, kSampleRate), 440, 1);
}

TEST(MusicSynth, SawVoiceSoundsAtTheNotesFrequency)
{
    Score score = single_instrument_score(held_tone(Wave::Saw), kSampleRate / 2);
    score.events.push_back(note_event(0, kSampleRate, 0, 57, 1.0f));
    const std::vector<float> out = render_score(score);
    // A3 = 220 Hz; the ramp crosses zero upwards once per cycle.
    EXPECT_NEAR(upward_crossings(out, 0, kSampleRate / 2), 110, 1);
}

TEST(MusicSynth, EnvelopeReachesExactZeroAfterRelease)
{
    const int64_t gate = kSampleRate / 10;
    Score score = single_instrument_score(held_tone(Wave::Saw), kSampleRate / 2);
    score.events.push_back(note_event(0, gate, 0, 60, 1.0f));
    const std::vector<float> out = render_score(score);
    EXPECT_GT(rms(out, gate / 2, gate), 0.3);
    // Release takes 0.05 s to fall 60 dB; the voice switches off at -80 dB, well within 0.1 s.
    const int64_t silent_from = gate + kSampleRate / 10;
    for (int64_t f = silent_from; f < score.length_frames; ++f) {
        ASSERT_EQ(out[static_cast<size_t>(2 * f)], 0.0f) << "frame " << f;
        ASSERT_EQ(out[static_cast<size_t>(2 * f + 1)], 0.0f) << "frame " << f;
    }
}

TEST(MusicSynth, DecayCoefficientFallsSixtyDecibelsInTheGivenTime)
{
    const float coef = decay_coefficient(0.5f, 1);
    EXPECT_NEAR(std::pow(static_cast<double>(coef), 0.5 * kSampleRate), 0.001, 1.0e-5);
    EXPECT_EQ(decay_coefficient(0.0f, 1), 0.0f);
}

TEST(MusicSynth, RenderingTwiceGivesIdenticalSamples)
{
    const Score score = tiny_song();
    const std::vector<float> first = render_score(score);
    const std::vector<float> second = render_score(score);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(float)), 0);
    EXPECT_GT(rms(first, 0, score.length_frames), 0.01);
}

TEST(MusicSequencer, KickStartsExactlyOnItsGridFrame)
{
    Score score = compose_song();
    score.events.clear();
    score.length_frames = kSampleRate;
    const int hit = 6;
    score.events.push_back(note_event(sixteenth_frame(hit), 4000, kKick, 33, 1.0f));
    const std::vector<float> out = render_score(score);
    // 128 + 6 * 128 = 896 ms, 39513.6 frames: the nearest frame is 39514.
    EXPECT_EQ(sixteenth_ms(hit), 896);
    EXPECT_EQ(first_sound(out), 39514);
    EXPECT_GT(std::fabs(out[2 * 39514]), 0.0f);
}

TEST(MusicSequencer, NormalisingSetsThePeakAndFadeEndsInSilence)
{
    std::vector<float> samples{0.1f, -2.0f, 0.5f, 1.0f, 0.25f, 0.25f, 1.0f, 1.0f};
    normalise_peak(samples, 0.5f);
    EXPECT_FLOAT_EQ(peak_level(samples), 0.5f);
    EXPECT_FLOAT_EQ(samples[1], -0.5f);
    fade_out(samples, 1, 3);
    EXPECT_FLOAT_EQ(samples[0], 0.025f);
    EXPECT_FLOAT_EQ(samples[2], 0.125f);
    EXPECT_EQ(samples[6], 0.0f);
    EXPECT_EQ(samples[7], 0.0f);
}

TEST(MusicSong, LastsBetween120And125Seconds)
{
    const Score score = compose_song();
    EXPECT_GE(score.length_frames, 120 * kSampleRate);
    EXPECT_LE(score.length_frames, 125 * kSampleRate);
    ASSERT_FALSE(score.events.empty());
    EXPECT_LT(score.events.back().start_frame, ms_to_frame(120000));
}

TEST(MusicSong, EveryNoteStartsOnTheSixteenthGrid)
{
    const Score score = compose_song();
    for (const NoteEvent& e : score.events) {
        const int64_t ms = (e.start_frame * 1000 + kSampleRate / 2) / kSampleRate;
        const int sixteenth =
            static_cast<int>((ms - kGridOffsetMs + kSixteenthMs / 2) / kSixteenthMs);
        ASSERT_EQ(e.start_frame, sixteenth_frame(sixteenth))
            << "track " << e.track << " note " << e.note;
        if (e.track == kKick) {
            // Kicks fall where the red background restarts.
            EXPECT_EQ(sixteenth_ms(sixteenth) % 256, 128) << "kick at " << ms << " ms";
        }
    }
}

TEST(MusicSong, SectionsStartOnTheGridPointNearestTheirScene)
{
    const int64_t scenes_ms[] = {kSceneTilesMs, kSceneSpinMs, kFullBeatMs,
                                 kLeadEntryMs,  kClimaxMs,    kCreditsMs};
    for (int64_t ms : scenes_ms) {
        const int64_t start = sixteenth_ms(section_sixteenth(ms));
        EXPECT_LE(std::llabs(start - ms), 128) << ms;
        EXPECT_EQ(start % 256, 128) << ms;
    }
    EXPECT_EQ(sixteenth_ms(section_sixteenth(kFullBeatMs)), 60032);
}

TEST(MusicSong, FullBeatPulsesOnEveryBeatFromTheRedFlashes)
{
    const Score score = compose_song();
    std::vector<int64_t> kicks_ms;
    for (const NoteEvent& e : score.events) {
        const int64_t ms = (e.start_frame * 1000 + kSampleRate / 2) / kSampleRate;
        if (e.track == kKick && ms >= kFullBeatMs && ms < kCreditsMs) {
            kicks_ms.push_back(ms);
        }
    }
    ASSERT_FALSE(kicks_ms.empty());
    EXPECT_EQ(kicks_ms.front(), 60032);
    for (size_t i = 1; i < kicks_ms.size(); ++i) {
        EXPECT_EQ(kicks_ms[i] - kicks_ms[i - 1], 512) << "after " << kicks_ms[i - 1] << " ms";
    }
    EXPECT_GT(kicks_ms.back(), 113000);
}

TEST(MusicSong, LeadEntersWithItsScene)
{
    const Score score = compose_song();
    const int64_t entry = sixteenth_frame(section_sixteenth(kLeadEntryMs));
    int64_t first_lead = -1;
    for (const NoteEvent& e : score.events) {
        if (e.track == kLead) {
            first_lead = e.start_frame;
            break;
        }
    }
    EXPECT_EQ(first_lead, entry);
}

// The whole song, rendered once and shared by the level checks.
const std::vector<float>& rendered_song()
{
    static const std::vector<float> samples = render_song(compose_song());
    return samples;
}

TEST(MusicSongRender, PeakIsMinusOneDecibelAndTheEndIsSilent)
{
    const std::vector<float>& s = rendered_song();
    EXPECT_LE(peak_level(s), 1.0f);
    EXPECT_NEAR(peak_level(s), 0.8913f, 0.001f);
    EXPECT_EQ(s[s.size() - 1], 0.0f);
    EXPECT_EQ(s[s.size() - 2], 0.0f);
}

TEST(MusicSongRender, EverySectionSoundsAndTheDropIsLouderThanTheOpening)
{
    const std::vector<float>& s = rendered_song();
    const int64_t windows_ms[][2] = {{1000, 19500},   {20500, 49500}, {50500, 59500},
                                     {60500, 74500},  {75500, 99500}, {100500, 113500},
                                     {114500, 119000}};
    for (const auto& w : windows_ms) {
        EXPECT_GT(rms(s, ms_to_frame(w[0]), ms_to_frame(w[1])), 0.02) << w[0] << " ms";
    }
    const double opening = rms(s, ms_to_frame(1000), ms_to_frame(19500));
    const double full_beat = rms(s, ms_to_frame(60500), ms_to_frame(74500));
    EXPECT_GT(full_beat, 1.5 * opening);
}

} // namespace
