// ADPCM coding by search: the same codes, bytes and decoder as AdpcmEncoder, but each Frame's codes
// are chosen so that the decoder's output lies closer to the input.
//
//     SearchAdpcmEncoder encoder;                       // searchDefaultPaths(bits) paths
//     encoder.reset();                                  // once per run
//     encoder.encodeFrame(frame, chunk + 1, 200, 4);    // 100 bytes of packed codes
//
// The greedy encoder picks each code on its own: the level nearest to the sample. Yet a code also
// moves the step index, and with it every later level, so a locally worse code can buy a step that
// fits the next samples far better. This encoder runs the decoder itself over the candidate code
// sequences of a Frame (an M-algorithm over the decoder's state, predictor and step index) and
// emits the sequence it finds whose decoded samples have the least squared error against the
// input:
//
// - it keeps the best `paths` sequences so far; each is extended by the few signed levels around
//   its greedy level, whose decoded sample and step index follow from the tables alone;
// - the new sequences are ranked by their squared error plus the error the greedy coder would make
//   on the next two samples from where they end, so that a sequence that has just grown or shrunk
//   the step for what follows is not dropped for its momentary cost;
// - sequences whose step index agrees and whose predictors lie in the same 64-wide bin are treated
//   as one, and only the better is kept, so the paths cover different states (64 gave the best
//   balance: wider bins gained SNR on loud passages, narrower ones segmental SNR on quiet ones);
// - one path is always the greedy encoder's own, and the Frame's sequence is the one with the
//   least squared error, the greedy one on a tie. A Frame therefore never decodes with more error
//   than the greedy encoder would have made from the same state, and with one path this encoder
//   writes exactly the greedy encoder's bytes.
//
// The search never looks past the samples of the call, and works in windows of
// kSearchWindowSamples, so that coding two Frames in one call or one after the other gives the same
// bytes; it needs no look at the next Frame. (Searching longer windows at once gained less, not
// more: the greedy path restarting from each Frame's chosen state is a strong candidate.) Width 1
// (delta modulation, which no database uses) is coded greedily.
//
// Speed: roughly 1 million samples per second on one core at the default paths (an hour of 10 kHz
// audio in about 40 s), about proportional to the paths; bench/coding measures it.
#pragma once

#include <cstdint>
#include <vector>

#include "coding/adpcm.h"

namespace zelvio {

/// Paths the search keeps by default at a width: 12 at 4 bits, 16 at 3 and 2 bits. A path costs
/// about half as much again at 4 bits (five levels tried instead of three), where going from 12
/// to 16 paths adds only 0.04 dB on speech; see the tables of bench/quality in the README.
[[nodiscard]] constexpr std::int16_t searchDefaultPaths(std::int16_t bitsPerSample) {
    return bitsPerSample == 4 ? 12 : 16;
}
/// Asks for searchDefaultPaths at every width.
inline constexpr std::int16_t kSearchPathsByWidth = 0;
/// Most paths a search keeps; larger requests are held to this.
inline constexpr std::int16_t kSearchMaxPaths = 64;
/// Samples searched as one unit: one Frame.
inline constexpr std::int16_t kSearchWindowSamples = 200;

/// Encodes Frames into packed ADPCM codes by searching over the decoder's state. Same calling
/// order, output format and state as AdpcmEncoder: reset it once per run, then hand it every coded
/// Frame in stream order; its state after a Frame is the state the decoder has after that Frame.
class SearchAdpcmEncoder {
  public:
    /// paths: how many code sequences the search keeps, held to 1 to kSearchMaxPaths, or
    /// kSearchPathsByWidth for searchDefaultPaths. One path gives exactly AdpcmEncoder's bytes;
    /// more give closer sound for proportionally more time. The working memory (about 190 KB,
    /// 210 KB at 64 paths) is
    /// taken here, never while coding.
    explicit SearchAdpcmEncoder(std::int16_t paths = kSearchPathsByWidth);

    /// Returns to the start-of-run state: predictor 0, step index 0 (step 7), last code 0.
    void reset();

    /// Codes count samples and writes adpcmCodedSize(count, bitsPerSample) bytes to out, in
    /// AdpcmEncoder's layout. A width outside 1 to 4, or a count of 0 or less, writes nothing and
    /// leaves the state as it was.
    void encodeFrame(const std::int16_t* samples, std::uint8_t* out, std::int16_t count,
                     std::int16_t bitsPerSample);

    /// As above, and also writes the value a decoder will reconstruct for each sample to
    /// reconstructed[0] to reconstructed[count - 1] (skipped when it is null).
    void encodeFrame(const std::int16_t* samples, std::uint8_t* out, std::int16_t count,
                     std::int16_t bitsPerSample, std::int16_t* reconstructed);

    /// Reconstructed value of the last coded sample.
    [[nodiscard]] std::int16_t predictor() const { return state_.predictor; }
    /// Current position in the step-size table, 0 to 88.
    [[nodiscard]] std::int16_t stepIndex() const { return state_.stepIndex; }
    /// The last sample's code in 4-bit form.
    [[nodiscard]] std::int16_t lastCode() const { return state_.lastCode; }

    /// The whole state, e.g. to hand to a decoder.
    [[nodiscard]] AdpcmState state() const { return state_; }
    /// Continues from a given state, clamped as AdpcmEncoder::setState does.
    void setState(const AdpcmState& state);

    /// The paths asked for: 1 to kSearchMaxPaths, or kSearchPathsByWidth.
    [[nodiscard]] std::int16_t paths() const { return paths_; }
    /// The paths a search at the given width keeps.
    [[nodiscard]] std::int16_t pathsAt(std::int16_t bitsPerSample) const {
        return paths_ == kSearchPathsByWidth ? searchDefaultPaths(bitsPerSample) : paths_;
    }

  private:
    AdpcmState state_;
    std::int16_t paths_;
    // Working memory of the search, sized once. For each sample of a window and each path kept
    // after it: the path it extends and the level it took (kSearchWindowSamples entries for
    // each path kept at any width).
    std::vector<std::uint16_t> steps_;
    std::vector<std::uint8_t> levels_;  // the chosen sequence of a window
    std::vector<std::uint16_t> twins_;  // finds candidates with the same state
    std::uint16_t stamp_ = 0;           // marks the twins_ entries of the current sample
};

}  // namespace zelvio
