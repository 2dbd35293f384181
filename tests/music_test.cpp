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
Score singleInstrumentScore(const InstrumentParams& instrument, int64_t lengthFrames)
{
    Score score;
    score.instruments = {instrument};
    score.lengthFrames = lengthFrames;
    return score;
}

NoteEvent noteEvent(int64_t startFrame, int64_t gateFrames, int track, int note, float velocity)
{
    NoteEvent e;
    e.startFrame = startFrame;
    e.gateFrames = gateFrames;
    e.track = track;
    e.note = note;
    e.velocity = velocity;
    return e;
}

// Upward zero crossings of the left channel in frames [first, end).
int upwardCrossings(const std::vector<float>& stereo, int64_t first, int64_t end)
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
int64_t firstSound(const std::vector<float>& stereo)
{
    for (size_t i = 0; i < stereo.size(); i += 2) {
        if (stereo[i] != 0.0f) {
            return static_cast<int64_t>(i / 2);
        }
    }
    return -1;
}

InstrumentParams heldTone(Wave wave)
{
    InstrumentParams p;
    p.wave = wave;
    p.attackS = 0.002f;
    p.sustain = 1.0f;
    p.releaseS = 0.05f;
    return p;
}

// A short score with drums, chords and both effects: everything that holds state between blocks.
Score tinySong()
{
    Score score = composeSong();
    score.events.clear();
    score.lengthFrames = sampleRate / 2;
    score.events.push_back(noteEvent(0, 4000, kickTrack, 33, 1.0f));
    score.events.push_back(noteEvent(100, 20000, padTrack, 57, 0.8f));
    score.events.push_back(noteEvent(100, 20000, padTrack, 60, 0.8f));
    score.events.push_back(noteEvent(3000, 2000, closedHatTrack, 60, 0.9f));
    score.events.push_back(noteEvent(5645, 3000, arpTrack, 76, 1.0f));
    score.events.push_back(noteEvent(11290, 4000, snareTrack, 54, 1.0f));
    return score;
}

TEST(MusicSynth, SineVoiceSoundsAtTheNotesFrequency)
{
    Score score = singleInstrumentScore(heldTone(Wave::Sine), sampleRate);
    score.events.push_back(noteEvent(0, sampleRate, 0, 69, 1.0f));
    const std::vector<float> out = renderScore(score);
    // One upward crossing per cycle: 440 per second at A4.
    EXPECT_NEAR(upwardCrossings(out, 0, sampleRate), 440, 1);
}

TEST(MusicSynth, SawVoiceSoundsAtTheNotesFrequency)
{
    Score score = singleInstrumentScore(heldTone(Wave::Saw), sampleRate / 2);
    score.events.push_back(noteEvent(0, sampleRate, 0, 57, 1.0f));
    const std::vector<float> out = renderScore(score);
    // A3 = 220 Hz; the ramp crosses zero upwards once per cycle.
    EXPECT_NEAR(upwardCrossings(out, 0, sampleRate / 2), 110, 1);
}

TEST(MusicSynth, EnvelopeReachesExactZeroAfterRelease)
{
    const int64_t gate = sampleRate / 10;
    Score score = singleInstrumentScore(heldTone(Wave::Saw), sampleRate / 2);
    score.events.push_back(noteEvent(0, gate, 0, 60, 1.0f));
    const std::vector<float> out = renderScore(score);
    EXPECT_GT(rms(out, gate / 2, gate), 0.3);
    // Release takes 0.05 s to fall 60 dB; the voice switches off at -80 dB, well within 0.1 s.
    const int64_t silentFrom = gate + sampleRate / 10;
    for (int64_t f = silentFrom; f < score.lengthFrames; ++f) {
        ASSERT_EQ(out[static_cast<size_t>(2 * f)], 0.0f) << "frame " << f;
        ASSERT_EQ(out[static_cast<size_t>(2 * f + 1)], 0.0f) << "frame " << f;
    }
}

TEST(MusicSynth, DecayCoefficientFallsSixtyDecibelsInTheGivenTime)
{
    const float coef = decayCoefficient(0.5f, 1);
    EXPECT_NEAR(std::pow(static_cast<double>(coef), 0.5 * sampleRate), 0.001, 1.0e-5);
    EXPECT_EQ(decayCoefficient(0.0f, 1), 0.0f);
}

TEST(MusicSynth, RenderingTwiceGivesIdenticalSamples)
{
    const Score score = tinySong();
    const std::vector<float> first = renderScore(score);
    const std::vector<float> second = renderScore(score);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(float)), 0);
    EXPECT_GT(rms(first, 0, score.lengthFrames), 0.01);
}

TEST(MusicSequencer, KickStartsExactlyOnItsGridFrame)
{
    Score score = composeSong();
    score.events.clear();
    score.lengthFrames = sampleRate;
    const int hit = 6;
    score.events.push_back(noteEvent(sixteenthFrame(hit), 4000, kickTrack, 33, 1.0f));
    const std::vector<float> out = renderScore(score);
    // 128 + 6 * 128 = 896 ms, 39513.6 frames: the nearest frame is 39514.
    EXPECT_EQ(sixteenthMs(hit), 896);
    EXPECT_EQ(firstSound(out), 39514);
    EXPECT_GT(std::fabs(out[2 * 39514]), 0.0f);
}

TEST(MusicSequencer, NormalisingSetsThePeakAndFadeEndsInSilence)
{
    std::vector<float> samples{0.1f, -2.0f, 0.5f, 1.0f, 0.25f, 0.25f, 1.0f, 1.0f};
    normalisePeak(samples, 0.5f);
    EXPECT_FLOAT_EQ(peakLevel(samples), 0.5f);
    EXPECT_FLOAT_EQ(samples[1], -0.5f);
    fadeOut(samples, 1, 3);
    EXPECT_FLOAT_EQ(samples[0], 0.025f);
    EXPECT_FLOAT_EQ(samples[2], 0.125f);
    EXPECT_EQ(samples[6], 0.0f);
    EXPECT_EQ(samples[7], 0.0f);
}

TEST(MusicSong, LastsBetween120And125Seconds)
{
    const Score score = composeSong();
    EXPECT_GE(score.lengthFrames, 120 * sampleRate);
    EXPECT_LE(score.lengthFrames, 125 * sampleRate);
    ASSERT_FALSE(score.events.empty());
    EXPECT_LT(score.events.back().startFrame, msToFrame(120000));
}

TEST(MusicSong, EveryNoteStartsOnTheSixteenthGrid)
{
    const Score score = composeSong();
    for (const NoteEvent& e : score.events) {
        const int64_t ms = (e.startFrame * 1000 + sampleRate / 2) / sampleRate;
        const int sixteenth =
            static_cast<int>((ms - gridOffsetMs + sixteenthLengthMs / 2) / sixteenthLengthMs);
        ASSERT_EQ(e.startFrame, sixteenthFrame(sixteenth))
            << "track " << e.track << " note " << e.note;
        if (e.track == kickTrack) {
            // Kicks fall where the red background restarts.
            EXPECT_EQ(sixteenthMs(sixteenth) % 256, 128) << "kick at " << ms << " ms";
        }
    }
}

TEST(MusicSong, SectionsStartOnTheGridPointNearestTheirScene)
{
    const int64_t scenesMs[] = {sceneTilesMs, sceneSpinMs, fullBeatMs,
                                leadEntryMs,  climaxMs,    creditsMs};
    for (int64_t ms : scenesMs) {
        const int64_t start = sixteenthMs(sectionSixteenth(ms));
        EXPECT_LE(std::llabs(start - ms), 128) << ms;
        EXPECT_EQ(start % 256, 128) << ms;
    }
    EXPECT_EQ(sixteenthMs(sectionSixteenth(fullBeatMs)), 60032);
}

TEST(MusicSong, FullBeatPulsesOnEveryBeatFromTheRedFlashes)
{
    const Score score = composeSong();
    std::vector<int64_t> kicksMs;
    for (const NoteEvent& e : score.events) {
        const int64_t ms = (e.startFrame * 1000 + sampleRate / 2) / sampleRate;
        if (e.track == kickTrack && ms >= fullBeatMs && ms < creditsMs) {
            kicksMs.push_back(ms);
        }
    }
    ASSERT_FALSE(kicksMs.empty());
    EXPECT_EQ(kicksMs.front(), 60032);
    for (size_t i = 1; i < kicksMs.size(); ++i) {
        EXPECT_EQ(kicksMs[i] - kicksMs[i - 1], 512) << "after " << kicksMs[i - 1] << " ms";
    }
    EXPECT_GT(kicksMs.back(), 113000);
}

TEST(MusicSong, LeadEntersWithItsScene)
{
    const Score score = composeSong();
    const int64_t entry = sixteenthFrame(sectionSixteenth(leadEntryMs));
    int64_t firstLead = -1;
    for (const NoteEvent& e : score.events) {
        if (e.track == leadTrack) {
            firstLead = e.startFrame;
            break;
        }
    }
    EXPECT_EQ(firstLead, entry);
}

// The whole song, rendered once and shared by the level checks.
const std::vector<float>& renderedSong()
{
    static const std::vector<float> samples = renderSong(composeSong());
    return samples;
}

TEST(MusicSongRender, PeakIsMinusOneDecibelAndTheEndIsSilent)
{
    const std::vector<float>& s = renderedSong();
    EXPECT_LE(peakLevel(s), 1.0f);
    EXPECT_NEAR(peakLevel(s), 0.8913f, 0.001f);
    EXPECT_EQ(s[s.size() - 1], 0.0f);
    EXPECT_EQ(s[s.size() - 2], 0.0f);
}

TEST(MusicSongRender, EverySectionSoundsAndTheDropIsLouderThanTheOpening)
{
    const std::vector<float>& s = renderedSong();
    const int64_t windowsMs[][2] = {{1000, 19500},   {20500, 49500}, {50500, 59500},
                                    {60500, 74500},  {75500, 99500}, {100500, 113500},
                                    {114500, 119000}};
    for (const auto& w : windowsMs) {
        EXPECT_GT(rms(s, msToFrame(w[0]), msToFrame(w[1])), 0.02) << w[0] << " ms";
    }
    const double opening = rms(s, msToFrame(1000), msToFrame(19500));
    const double fullBeat = rms(s, msToFrame(60500), msToFrame(74500));
    EXPECT_GT(fullBeat, 1.5 * opening);
}

} // namespace
