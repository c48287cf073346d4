// A last look at the tracks the pairs could not decide between: does the recording's
// spectrogram hold energy where each track's own peaks say its music is?
//
// Counting hits asks a query peak to land where a catalog peak is, within a frame or so. A large
// hall moves each peak 2-15 frames later by its own amount and buries a third of them under the
// tail, so the right track gets few more hits than any other. But the energy is still there,
// late and smeared: reading the spectrogram itself at each of the track's peaks (a few frames
// late allowed) gives the right track every one of its peaks as evidence, where a hit count gets
// only the few that survived whole. The same peaks moved round the recording in time are the
// measure of chance: the track's own key and spread of notes, set where it is not playing.
#pragma once

#include "FingerprintConfig.h"
#include "FingerprintIndex.h"
#include "VoteTally.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace melodex::fp {

// The recording's log power, each bin less its median over the clip (what a stationary noise
// or the microphone's colour holds up is not evidence) and each frame less its mean over the
// bins (nor is a loud passage); what a cell then rises above that, squared (a few cells well
// clear of the noise say more than many just over it); then the largest of each cell's bins
// either side (config.agreementBinSpread) and of the next config.agreementLateFrames frames (a
// room delays a peak, never brings it early).
class AgreementMap {
public:
    // power: PeakExtractor::spectrogram's rows, `frames` of them.
    AgreementMap(const FingerprintConfig& config, const std::vector<float>& power, int frames);

    int frames() const { return frames_; }
    // A track's peak within the recording: its frame there and its bin's row.
    struct Cell {
        int frame;
        int row;
    };
    // The cells of a track's peaks (packed as IndexFormat stores them, sorted by frame) placed
    // at `offset` (track frame minus recording frame) that fall within the recording.
    std::vector<Cell> cellsOf(std::span<const uint32_t> trackPeaks, int32_t offset) const;
    // The mean level at `cells` moved `shift` frames later, round the recording's end.
    double meanAt(const std::vector<Cell>& cells, int shift = 0) const;

private:
    int frames_ = 0;
    int bins_ = 0;
    int minBin_ = 0;
    std::vector<float> level_;
};

// How far a track's level at `offset` stands above the level of the same peaks moved round the
// recording by config.agreementShiftFrom frames and more (every config.agreementShiftStep, as
// far as that short of a whole turn), in their standard deviations: the same peaks at every
// shift, so a track that only overlaps the recording's end is weighed as fairly as one that
// covers it. Over the whole recording, and in the half of it where the track stands less: the
// catalog's music plays all through a recording, where music not in the catalog follows a
// track's notes for a few seconds by chance. 0 where fewer than a few peaks fall.
struct Agreement {
    double whole = 0.0;
    double lesserHalf = 0.0;
};
Agreement agreementOf(const FingerprintConfig& config, const AgreementMap& map, std::span<const uint32_t> trackPeaks,
                      int32_t offset);

// What the count's leader must agree, over the whole recording and in each half:
// config.minAgreement and config.minHalfAgreement, eased as it leads the count (`leaders`, best
// first) further ahead of the next; the least there is when no other leader has a score.
Agreement agreementAsked(const FingerprintConfig& config, std::span<const Leader> leaders);

// Of `leaders` (best first), the first config.agreementCandidates checked: the one first in
// the count (or the only one of those level in first place) that agrees in each half of the
// recording (agreementAsked, and config.minHalfAgreementLead more than any other checked), or
// over the whole of it by a wider margin (agreementAsked and config.minAgreementLead: a track
// shorter than the recording, or music in a part of it, is heard in one half); failing that,
// the one whose rendering across a large room (peaks from FingerprintConfig::kRoomFrames on)
// agrees so. Nothing otherwise.
struct Agreed {
    Leader leader;
    Agreement agreement;
    Agreement runnerUp;  // the best of the other leaders checked, figure by figure
};
std::optional<Agreed> agreedLeader(const FingerprintConfig& config, const AgreementMap& map, const FingerprintIndex& index,
                                   std::span<const Leader> leaders);

} // namespace melodex::fp
