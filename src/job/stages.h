#pragma once
// The stages of a conversion, each a function or class of its own, in the order
// ConversionJob::run() calls them:
//
//   openInput            the input file, through the input seam, at a rate we convert
//   checkDatabasePath    the target can be written before any time is spent
//   ScratchFiles         the two raw sample files between the stages
//   makeDatabase         the image with its title, description and first stream record
//   stageInput           the input mixed to 16-bit mono (scratch file 1)
//   resampleToStreamRate the mono samples at 10000 Hz (scratch file 2)
//   FrameLoop            Frame by Frame: detection, the FrameCoder, one chunk into the image
//   saveStage            the image written out whole
//
// A stage that stops the run gives back a StageError: the outcome kind and the detail the user
// sees. Every stage reports its progress as a fraction of its own work.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "coding/frame_coder.h"
#include "coding/voice_activity_detector.h"
#include "io/scratch_file.h"
#include "job/conversion_job.h"
#include "job/raw_sample_file.h"
#include "pdb/palm_database.h"
#include "resample/resampler.h"
#include "wave/audio_source.h"

namespace zelvio {

/// Why a stage stopped the run.
struct StageError {
    OutcomeKind kind;    ///< InputError, FileIoError or SaveError
    std::string detail;  ///< what exactly went wrong, for the user
};

/// What a stage gives back: nothing when it succeeded.
using StageResult = std::optional<StageError>;

/// Takes a stage's progress, the fraction of its work done (0 to 1). May be empty.
using ProgressReport = std::function<void(double fraction)>;

/// The report for a part of a larger piece of work: fraction f of the part is reported to whole
/// as start + share x f. Empty when whole is.
[[nodiscard]] ProgressReport partOf(const ProgressReport& whole, double start, double share);

// --- Input ---------------------------------------------------------------------------------

/// Opens the input through openAudioSource() into input. Refuses (InputError) a file that cannot
/// be read and a sample rate outside kMinInputRate to kMaxInputRate. An input whose length is not
/// stated up front is read once to count its sample frames (LengthRule::Counted), so that
/// input->sampleFrameCount() is always known here.
[[nodiscard]] StageResult openInput(const std::filesystem::path& path,
                                    std::unique_ptr<AudioSource>& input);
/// The same from an open stream (see openAudioSource(std::FILE*)) when stream is not null; path
/// then only names the input in messages.
[[nodiscard]] StageResult openInput(const std::filesystem::path& path, std::FILE* stream,
                                    std::unique_ptr<AudioSource>& input);

/// Catches database paths that cannot work (SaveError): none given, a folder, a folder that
/// does not exist.
[[nodiscard]] StageResult checkDatabasePath(const std::filesystem::path& path);

/// The mono sample of a sample frame: the left sample of a mono input; of a stereo one the floor
/// of the mean of the pair (an arithmetic shift, so -1.5 gives -2).
[[nodiscard]] constexpr std::int16_t monoSample(const SampleFrame& frame, bool stereo) {
    return stereo ? static_cast<std::int16_t>((std::int32_t{frame.left} + frame.right) >> 1)
                  : frame.left;
}

/// Reads the whole input (named path in messages) and writes it to staged as 16-bit mono, block
/// by block. FileIoError when the input cannot be read to its end or staged refuses samples.
[[nodiscard]] StageResult stageInput(AudioSource& input, const std::filesystem::path& path,
                                     MonoSink& staged, const ProgressReport& progress);

// --- Scratch files -------------------------------------------------------------------------

/// The two scratch files between the stages: the staged input (mono at the input rate) and the
/// resampled samples (10000 Hz), each written once and then read back, in this order:
/// createStaged(), stagedSink(); startResampling(), stagedSource(), resampledSink();
/// finishResampling(), resampledSource(); removeResampled(). Both are removed on every way out.
class ScratchFiles {
  public:
    /// Creates scratch file 1. FileIoError when it cannot be made.
    [[nodiscard]] StageResult createStaged();
    /// Writes scratch file 1.
    [[nodiscard]] MonoSink& stagedSink() { return stagedSink_; }
    /// Turns scratch file 1 over to reading and creates scratch file 2. FileIoError when the
    /// staged samples cannot all be written or file 2 cannot be made.
    [[nodiscard]] StageResult startResampling();
    /// Reads scratch file 1.
    [[nodiscard]] MonoSource& stagedSource() { return stagedSource_; }
    /// Writes scratch file 2.
    [[nodiscard]] MonoSink& resampledSink() { return resampledSink_; }
    /// Removes scratch file 1 and turns file 2 over to reading. FileIoError when the resampled
    /// samples cannot all be written.
    [[nodiscard]] StageResult finishResampling();
    /// Reads scratch file 2.
    [[nodiscard]] MonoSource& resampledSource() { return resampledSource_; }
    /// Removes scratch file 2.
    void removeResampled() { resampled_.remove(); }

  private:
    ScratchFile staged_;
    ScratchFile resampled_;
    RawFileSink stagedSink_{nullptr};
    RawFileSource stagedSource_{nullptr};
    RawFileSink resampledSink_{nullptr};
    RawFileSource resampledSource_{nullptr};
};

// --- Database ------------------------------------------------------------------------------

/// The title the database gets: the given title converted to handheld text and cut to 31
/// characters; when that is empty, the input file's name without its extension (converted and
/// cut the same way); when that is empty too, "Audio". The handheld refuses to install a database
/// without a name.
[[nodiscard]] std::string databaseTitle(std::string_view utf8Title, std::string_view utf8InputStem);

/// Sets up database for settings: its title, record 0 with the description, and the first
/// record of a 10000 Hz mono stream in codec. FileIoError when memory runs out.
[[nodiscard]] StageResult makeDatabase(const ConversionSettings& settings, CodecCode codec,
                                       PalmDatabase& database);

/// Writes database to path (saveDatabase). SaveError when the file cannot be written whole.
[[nodiscard]] StageResult saveStage(PalmDatabase& database, const std::filesystem::path& path);
/// Writes database's file image to sink. SaveError when the sink refuses bytes.
[[nodiscard]] StageResult saveStage(PalmDatabase& database, ByteSink& sink);

// --- Resampling ----------------------------------------------------------------------------

/// How much a run converts.
struct RunSize {
    std::int64_t inputCount = 0;   ///< sample frames of input
    double factor = 1.0;           ///< 10000 / the input rate
    std::int64_t outputCount = 0;  ///< samples at 10000 Hz: trunc(inputCount x factor) + 1
    std::int64_t frameCount = 0;   ///< whole Frames in them (0 for fewer than 2 input samples)
};

/// The size of a run for inputCount sample frames at inputRate per second.
[[nodiscard]] RunSize runSize(std::int64_t inputCount, std::uint32_t inputRate);

/// Converts size.inputCount samples from staged into size.outputCount samples at 10000 Hz in
/// resampled, with the designed filter. FileIoError when a scratch file fails or the resampler
/// refuses (with its own status text).
[[nodiscard]] StageResult resampleToStreamRate(MonoSource& staged, MonoSink& resampled,
                                               const RunSize& size, const ProgressReport& progress);

// --- Frame loop ----------------------------------------------------------------------------

/// The voice activity detector's setting for every run: Frames reaching a peak of 1024 or a mean
/// of 256 are loud, and 1400 samples (seven Frames) of hangover follow each loud one.
inline constexpr std::int16_t kDetectorPeakLimit = 1024;
inline constexpr std::int16_t kDetectorMeanLimit = 256;
inline constexpr std::int16_t kDetectorHangover = 1400;

/// Takes the resampled samples Frame by Frame: with detection on, a quiet Frame becomes a
/// one-byte silence chunk; any other Frame is coded by the FrameCoder behind marker 0. Each chunk
/// is appended to stream 0 of the database. A final partial Frame is dropped.
class FrameLoop {
  public:
    /// A loop coding with coder; detection on or off.
    FrameLoop(std::unique_ptr<FrameCoder> coder, bool detection);

    /// Codes frameCount Frames from samples into database. Stops early, with no error, when the
    /// database is full. FileIoError when samples cannot be read or memory runs out.
    [[nodiscard]] StageResult run(MonoSource& samples, std::int64_t frameCount,
                                  PalmDatabase& database, const ProgressReport& progress);

    /// Frames stored in the database so far.
    [[nodiscard]] std::int64_t framesCoded() const { return framesCoded_; }

  private:
    std::unique_ptr<FrameCoder> coder_;
    bool detection_;
    VoiceActivityDetector detector_;
    std::int64_t framesCoded_ = 0;
};

}  // namespace zelvio
