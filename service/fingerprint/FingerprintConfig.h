// All settings of the fingerprinter in one documented place (one config struct, as in Olaf).
// The values are tuned for what the phone sends: 8000 Hz mono, band-limited by the
// handset's microphone and codec to roughly 300-3400 Hz.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace melodex::fp {

// A change between the catalog's audio and a recording: its tempo and its pitch, each a factor
// (1.03: 3 % faster, or 3 % higher). Playing faster changes both alike.
struct Change {
    double tempo = 1.0;
    double pitch = 1.0;
    static Change speed(double factor) { return {factor, factor}; }
    bool none() const { return tempo == 1.0 && pitch == 1.0; }
    double distance() const { return std::max(std::abs(tempo - 1.0), std::abs(pitch - 1.0)); }
    bool operator==(const Change&) const = default;
};

// One way of looking a recording up: a change undone, and how many frames off each query
// triple's frame differences are looked up as well (HashBuilder::build).
struct Hypothesis {
    Change change;
    int timeJitter = 0;
    bool operator==(const Hypothesis&) const = default;
};

struct FingerprintConfig {
    // --- Signal (what is indexed is the phone's bandwidth) ---
    int sampleRate = 8000;
    int frameSize = 512;   // 64 ms Hann window, 15.6 Hz bins
    int hopSize = 128;     // 16 ms between frames: 62.5 frames a second
    int minBin = 18;       // ~280 Hz: below it the handset microphone hears little
    int maxBin = 224;      // 3500 Hz: above it the GSM/phone band ends

    // --- Peaks (Wang 2003: spectrogram maxima of their neighbourhood) ---
    // The catalog keeps sparse peaks (a large neighbourhood); a query keeps denser ones, so that
    // every reference peak is also a query peak and the index stays small.
    // The frequency radius is given at 1000 Hz and grows with frequency (a constant share of
    // an octave): a band of 300-600 Hz gets as many peaks across it as a band of 1.5-3 kHz,
    // so music whose energy sits low in the band still has peaks enough to pair when noise
    // takes the peaks of the quiet bands above it.
    int refPeakFreqRadius = 6;     // bins either side at 1000 Hz (bin 64)
    int refPeakTimeRadius = 20;    // frames either side (0.32 s)
    int queryPeakFreqRadius = 6;   // a query's peaks are denser in time than the catalog's, as
    int queryPeakTimeRadius = 14;  // a room or noise moves a catalog peak off its maximum
    int minPeakFreqRadius = 2;     // the radius never shrinks below this
    int maxPeakFreqRadius = 12;    // nor grows past this
    float peakFloorDb = -80.0f;    // log-magnitude below which a cell is silence, not a peak
    // A peak this far below the loudest cell of its time neighbourhood (any frequency) is
    // left out: the hiss and hum of a band the music leaves empty is the first thing noise
    // covers, and landmarks built on it would be lost with it.
    float peakRelativeFloorDb = 45.0f;
    float onsetDecayDb = 0.3f;     // per frame: how fast a bin's envelope forgets (19 dB/s)
    // Taken from a cell that does not rise this far above its envelope (PeakExtractor::salience):
    // enough that a held note peaks where it starts, not at whichever frame of its flat top
    // noise makes loudest (1 dB no longer does that in noise); no more, as in loud noise a note
    // seldom rises far above an envelope the noise's own swells hold up, and a larger margin
    // ranks it below them (pink noise at -5 dB: 3 dB found 49 % of the bench's clips, 2 dB 54 %).
    float sustainPenaltyDb = 2.0f;

    // --- Landmarks (an anchor peak and two later peaks of its target zone) ---
    // Three peaks make a 32-bit hash where two made 21 bits: a hash list holds ~2000 times
    // fewer chance entries, so what a query reads grows far slower than the catalog.
    int targetMinDt = 1;           // frames; at least 1, as a pair hashes like a triple whose
                                   // second frame difference is 0
    int targetMaxDt = 63;          // frames (~1 s); fits the 6-bit dt fields of a hash
    int targetMaxDf = 31;          // bins either way; fits the 6-bit df fields
    int refFanOut = 5;             // targets per anchor in the catalog: every two of them make
                                   // a landmark (10 per anchor)
    int queryFanOut = 8;           // targets per anchor in a query: more, as noise peaks crowd
                                   // in among the catalog's targets (28 landmarks per anchor)
    int retryFanOut = 6;           // the same for a speed retry (15 landmarks per anchor): the
                                   // retries are most of the cost of a clip that matches nowhere
    // The plain hypothesis is tried twice: first each query landmark looks up its own frame
    // differences only, then also those a frame off (the 9 variants of a triple: a room or
    // noise moves a peak a frame). Without the variants a query casts a sixth of the votes:
    // most clips are found there at a third of the cost, and in noise at 100 000 tracks
    // the right track ranks higher among the tracks whose pairs are counted (SNR 0 dB: 96.7 %
    // against 86.7 % with the variants alone); with them, a room or pink noise is still found.
    std::vector<int> plainTimeJitters{0, 1};
    int retryTimeJitter = 0;       // frames off a speed retry's triples look: none, as its lookups are most of
                                   // the cost of a clip that matches nowhere, and its pairs
                                   // still look a frame off (pairTimeJitter)
    // Pairs (anchor and one target) are stored beside the triples and looked up only for the
    // tracks the triples nominated: they find a clip in heavy noise or a room, which leaves
    // too few whole triples.
    int pairMaxDf = 63;            // bins either way; fits the 7-bit df field of a pair
    int refPairFanOut = 7;         // pairs per anchor in the catalog
    int queryPairFanOut = 24;      // pairs per anchor in a query (a superset of the catalog's)
    int retryPairFanOut = 24;      // the same under a speed or pitch hypothesis. 12 cost a
                                   // twentieth less and found as many clips at 41 tracks, but
                                   // at 100 000 let a foreign clip match a distractor (28 pairs
                                   // over 11: fewer pairs drop the runner-up more than a leader)
    int pairTimeJitter = 1;        // frame differences this far off are looked up for a pair too
    // A quick look before the pairs under a change: the pairs of each anchor's nearest
    // pairScreenFanOut targets (about a third of a whole pass's) vote first, and the whole pass
    // is spent only when a track reaches pairScreenScore there, pairScreenRatio times its
    // runner-up's. Over 41 tracks and 1878 clips, the 255 clips matched by pairs under a change
    // scored 8 or more in that look, all but one 1.5 times the runner-up or more; of the 9118
    // looks of music not in the catalog, 10 % reached 8, and 1.5 % with that lead.
    // 0: no look, every pass whole.
    int pairScreenFanOut = 4;
    int pairScreenScore = 8;
    float pairScreenRatio = 1.5f;
    // The look counts a nominee's pairs only around where its triples lined up best: the span
    // the recording covers there, and this many frames either side (2 s; a speed 2 % off
    // drifts 14 frames over the clip). A nominee's whole track made a look cost as much as a
    // triples pass; at 100 000 tracks the window found the same clips for a tenth less CPU.
    int pairScreenMargin = 125;
    int pairCandidates = 16;       // tracks with the most triple votes that pairs are tried on
    // In an index this small every hash list is short, and pairs are counted for every track
    // the triples gave a vote: nominating saves nothing there, and in heavy noise the triples'
    // votes barely rank the right track above the others (a few hundred tracks).
    uint64_t pairsForEveryTrackBelow = 16'000'000;  // index entries
    // Each track is also indexed as heard across a large room (its pairs only): the room's
    // response is decaying noise, roomSeconds to fall by 60 dB, its tail roomTailToDirect times
    // the direct sound's energy. The rendering's pairs alone meet a clip from a hall no better
    // than the dry track's, but the two counted together at one offset find a fifth more of
    // such clips; they are counted so only under the plain hypothesis over every track (a
    // small catalog), beside the dry count, with leads of their own: the rendering's pairs are
    // chance hits for any clip not from a room. 0 seconds: no rendering.
    double roomSeconds = 2.0;
    double roomTailToDirect = 8.0;
    // A rendering's entries are its track's, at frames this far on: its hits line up apart from
    // the dry track's unless a count folds them back (Matcher::matchTracksWithRoom). A track is
    // indexed up to this frame (18.6 hours).
    static constexpr int32_t kRoomFrames = 1 << 22;
    // The lead the count with the room asks (of its distinct hashes over the runner-up's hits):
    // minRoomRatioBroad from broadRoomAnchors query frames, minPairScoreRatioNarrow below
    // narrowPairAnchors, minRoomRatio between. Over nine draws of the bench (7 980 clips of
    // music not in the catalog) such music led by at most 1.57 times from 24 frames or more,
    // and 2.08 from 10-23.
    // Its floor: the bench's clips it found scored 26 or more, and in a catalog of a few tracks,
    // where the runner-up is often nothing and no lead guards, music not in the catalog has
    // reached 17 with the rendering's chance hits.
    int minRoomPairScore = 24;
    int broadRoomAnchors = 24;
    float minRoomRatioBroad = 1.8f;
    float minRoomRatio = 2.5f;
    // Hash lists longer than this (over the whole catalog) are not read by a query: they are
    // sustained tones shared by much of the catalog, costly to read and telling little.
    uint32_t maxHashList = 4000;

    // --- Matching (time-offset consistency) ---
    // Frames either side of an offset that still count for it. A large room moves a peak
    // 2-15 frames later as the reverberation builds up, each peak by its own amount: only 7 %
    // of the catalog's peaks stay within a frame (41 % in noise at 0 dB). 4 found half again
    // as many clips in a hall, and the clips a semitone down that pairs line up for only a
    // second or two, with no false positive under any condition; 6 lost clips in heavy
    // noise, where chance votes fill the wider window.
    int offsetTolerance = 4;
    int minScore = 15;             // aligned triple hits needed to call a match
    int minScoreResampled = 16;    // the same for a speed other than 1: every extra speed tried
                                   // is another chance for music not in the catalog to match
    int minPairScore = 15;         // aligned pair hits needed to call a match among the nominees
    int minPairScoreResampled = 24;
    // Best score over the runner-up track's score. Triples that truly match stand at least 3
    // times above the runner-up; a clip of other music in loud noise casts many chance votes,
    // which have given 2.5 times. Pairs, counted among nominees, keep 2.5.
    float minScoreRatio = 3.0f;
    float minPairScoreRatio = 2.5f;
    // Pairs under the plain hypothesis counted for every track with a vote (a small catalog):
    // the runner-up is then the best of all the other tracks, a steadier measure of chance
    // than the best of the few the triples nominated for resembling the clip. Music not in the
    // catalog has stood 1.9 times above it there (41 tracks, 1520 clips), and 2.2 times above
    // the runner-up among nominees (100 000 tracks); a clip in a large hall or in loud noise
    // often leads every other track by 2.2-2.5 times.
    float minPairScoreRatioEveryTrack = 2.2f;
    // The lead those pairs need grows as the distinct query frames (anchors) their hits come
    // from grow fewer. A clip in a large hall lines up at 18-29 frames while leading by
    // 1.4-2.2 times; music not in the catalog reached 18 frames only at 1.1 and 1.4 times,
    // and led by at most 1.8 times from 14-17. From fewer than 10 frames it once led by 2.8
    // times (25 hits from 9 frames within 2 s, in 5 s of music), where clips of the catalog
    // lead by 2.6 times or more (41 tracks, four draws of 760 foreign clips).
    int broadPairAnchors = 18;
    float minPairScoreRatioBroad = 1.6f;
    int narrowPairAnchors = 10;
    float minPairScoreRatioNarrow = 3.0f;
    // Distinct query frames (anchors) the aligned hits must come from. A clip that truly
    // matches lines up at anchor after anchor along the clip (8 or more of them at the floors);
    // music not in the catalog has lined up 21 hits from 4 anchors within 0.2 s (a smeared
    // chord in a room, each of its anchors hitting again and again).
    int minAnchors = 6;
    // A match by pairs under a change must be seen again under the hypotheses half a step
    // either side. A clip that truly matches lines up there too: the neighbour nearer its
    // speed or pitch is within half a step of it, about what a hypothesis catches (every true
    // match by pairs under a change in the bench scored 22 or more there); music not in the
    // catalog that lines up by chance under one hypothesis has kept 13. The support is the
    // best score of the same track within supportSlack frames of the offset under those
    // neighbours. The plain hypothesis is not asked: music not in the catalog has not matched
    // there by pairs, and its matches in heavy noise keep few hits a step aside.
    std::vector<double> supportSteps{-0.005, 0.005};
    int supportSlack = 8;
    int minPairSupport = 17;
    double maxQuerySeconds = 30.0; // longer uploads are cut to this
    // Speed factors tried in order after the plain hypothesis: a clip played 3 % fast
    // is undone by moving its peaks where resampling it by 1.03 would put them (3 % later in
    // time, 3 % lower in frequency; PeakExtractor::undoChange).
    // Two points apart: a hypothesis's pairs still line up a speed 1-2 % away (clips 5 % fast
    // were found under 1.03 as well as 1.05), so the even speeds between cost every clip that
    // matches nowhere six more passes (a third of its time) and found nothing the odd ones
    // did not. The odd speeds, not the even: a reverberant clip has been found only under 0.99.
    std::vector<double> speedFactors{1.01, 0.99, 1.03, 0.97, 1.05, 0.95};
    // Then pitch factors with the tempo kept (an edit transposed, a band tuned differently):
    // only the peaks' frequencies move. A semitone either way: the speeds of 5-6 % found a
    // transposed clip only when its pairs happened to line up (at 100 000 tracks, 80 % of
    // clips a semitone up and 86 % a semitone down), the semitones themselves find them all.
    std::vector<double> pitchFactors{1.0594630943592953, 0.9438743126816935};
    // Floors for a hypothesis further than this from 1 (in speed or pitch): each change tried
    // is another chance for music not in the catalog to line up. Kept at the retries' floors:
    // over 1520 clips of music not in the catalog, no hypothesis beyond 3 % scored more than
    // 14 (triples or pairs), while a tenth of the true matches there stand at these floors.
    double farChange = 0.035;
    int minScoreFar = 16;
    int minPairScoreFar = 24;

    // --- A last look, when no count decided (PeakAgreement) ---
    // The best agreementCandidates of the plain hypothesis's pairs (with the room where it is
    // counted) are read in the recording's spectrogram: each track's peaks at its best offset,
    // agreementLateFrames frames late allowed (a hall delays a peak by up to 15) and
    // agreementBinSpread bins either side, against the same peaks moved round the recording by
    // agreementShiftFrom frames and more, every agreementShiftStep. Only a track first in the
    // count is taken: music not in the catalog stood up to 7.1 deviations above its shifts over
    // the whole recording on a track the count put level with another or behind it. Of tracks
    // level in first place, the one that alone stands clear of every other leader is taken: over
    // 17 draws no foreign clip's did (the closest 0.56 short over the whole, 0.62 in each half),
    // while the catalog's gained 8 clips, the hall most. On the count's leader, over 14 draws
    // of the bench (10 640 such clips under every condition), such music stood at most 3.1
    // deviations above its shifts in the lesser half of the recording (asc-music's frontiers.mp3
    // 44 s in, clean) and 6.1 over the whole of it; the catalog's clips no count found that stood
    // minHalfAgreement or minAgreement above were the right track every time. The leads over the
    // other leaders keep the same music held twice from being named by chance.
    // Where the tracks' own peaks settle nothing, their renderings' across a large room (kept
    // after them in the index) are read under the same rules: a recording from a large hall
    // agrees with a track as heard there where it agrees with none dry. Over ten draws of the
    // bench the catalog's clips gained 15 (the hall 12), and of sixteen draws' foreign clips none
    // was taken (on the eight whose figures were printed, the closest 0.42 short).
    // The count's lead is evidence as well: where the leader leads the count by more than
    // halfAgreementEasedFrom times, each doubling of its lead asks halfAgreementPerDoubling
    // deviations less in each half (sqrt(2) times that over the whole), down to
    // leastHalfAgreement (sqrt(2) times that over the whole). Fitted on nine draws of the bench,
    // music not in the catalog that the count's leader led by more than 1.25 times stood at
    // least 0.7 deviations short of what its lead asked in each half and 2.3 over the whole; on
    // nine other draws 1.3 and 1.6 short, and their catalog clips gained 32 (the hall, pink
    // noise, SNR -5 dB).
    // The figures above were read on the recording's levels; the look now reads their rises
    // squared (AgreementMap), with the same thresholds, which music not in the catalog stands
    // further short of.
    int agreementCandidates = 6;
    int agreementLateFrames = 8;
    int agreementBinSpread = 1;
    int agreementShiftFrom = 60;   // ~1 s: nearer, a held chord still lines up
    int agreementShiftStep = 15;
    double minHalfAgreement = 3.5;
    double minHalfAgreementLead = 1.4;
    double halfAgreementEasedFrom = 1.25;
    double halfAgreementPerDoubling = 2.8;
    double leastHalfAgreement = 2.0;
    double minAgreement = 7.5;
    double minAgreementLead = 2.0;

    // --- Index layout: 32-bit hashes, 24-bit track ids, 24-bit frame times (74 hours) ---
    static constexpr int kHashBits = 32;
    static constexpr int kTrackBits = 24;
    static constexpr int kTimeBits = 24;

    // Targets per anchor of a query's triples, and its pairs per anchor, under a hypothesis.
    int tripleFanOut(Change change) const { return change.none() ? queryFanOut : retryFanOut; }
    int pairFanOut(Change change) const { return change.none() ? queryPairFanOut : retryPairFanOut; }
    // Whether the pairs under `change` get the quick look first, and whether its best score
    // is worth the whole pass.
    bool screensPairs(Change change) const { return !change.none() && pairScreenFanOut > 0; }
    bool passesPairScreen(int score, int runnerUpScore) const {
        return score >= pairScreenScore && static_cast<float>(score) >= pairScreenRatio * static_cast<float>(runnerUpScore);
    }

    // Every hypothesis in the order tried: the plain one at each of its frame differences
    // (plainTimeJitters), then the other speeds, then the pitches.
    std::vector<Hypothesis> hypotheses() const {
        std::vector<Hypothesis> all;
        for (int jitter : plainTimeJitters)
            all.push_back({Change{}, jitter});
        for (double s : speedFactors)
            all.push_back({Change::speed(s), retryTimeJitter});
        for (double p : pitchFactors)
            all.push_back({{1.0, p}, retryTimeJitter});
        return all;
    }
};

} // namespace melodex::fp
