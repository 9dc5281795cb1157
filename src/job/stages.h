#pragma once
// The stages of a conversion, each a function or class of its own, in the order
// ConversionJob::run() calls them:
//
//   openInput            the input file, through the input seam, at a rate we convert
//   checkDatabasePath    the target can be written before any time is spent
//   makeDatabase         the image with its title, description and first stream record
//   DatabaseParts        the run's databases: one, or with splitting one part after another
//   InputBlocks          the input mixed to 16-bit mono, block by block (read ahead on a thread
//                        of its own when the run has threads, from before the plan is made)
//   RateConverter        the run's resampling plan: 10000 Hz from the input's rate
//   FrameLoop            Frame by Frame: detection, the FrameCoder, one chunk into the image
//   FrameStage           the FrameLoop fed batch by batch (on a thread of its own when the run
//                        has threads)
//   streamStages         the blocks through the RateConverter into the FrameStage, until the
//                        input ends or the database is full
//   saveStage            the image written out whole (DatabaseParts::save: every part)
//
// A stage that stops the run gives back a StageError: the outcome kind and the detail the user
// sees. Every stage reports its progress as a fraction of its own work. Memory stays flat in the
// input's length: a few blocks of samples between the stages, the resampling plan's coefficient
// table (at most a few MiB) and the database image.

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "coding/frame_coder.h"
#include "coding/voice_activity_detector.h"
#include "job/conversion_job.h"
#include "job/stop_token.h"
#include "pdb/palm_database.h"
#include "resample/fast_resampler.h"
#include "resample/resampler.h"
#include "resample/thread_pool.h"
#include "wave/audio_source.h"

namespace zelvio {

/// Why a stage stopped the run.
struct StageError {
    OutcomeKind kind;    ///< InputError, FileIoError, SaveError or Cancelled
    std::string detail;  ///< what exactly went wrong, for the user
    /// The database was not saved because a file stands at its path and the settings do not
    /// allow replacing it.
    bool targetExists = false;
};

/// What a stage gives back: nothing when it succeeded.
using StageResult = std::optional<StageError>;

/// The StageError of a run stopped on request.
[[nodiscard]] StageError cancelledError();

/// Takes a stage's progress, the fraction of its work done (0 to 1). May be empty.
using ProgressReport = std::function<void(double fraction)>;

/// The report for a part of a larger piece of work: fraction f of the part is reported to whole
/// as start + share x f. Empty when whole is.
[[nodiscard]] ProgressReport partOf(const ProgressReport& whole, double start, double share);

// --- Input ---------------------------------------------------------------------------------

/// Opens the input through openAudioSource() into input, unless input is already open (a source
/// the caller gave). Refuses (InputError) a file that cannot be read and a sample rate outside
/// kMinInputRate to kMaxInputRate. An input that cannot state its length up front is opened as it
/// is (kUnknownFrameCount): the stages read it to its end as it comes.
[[nodiscard]] StageResult openInput(const std::filesystem::path& path,
                                    std::unique_ptr<AudioSource>& input);
/// The same from an open stream (see openAudioSource(std::FILE*)) when stream is not null; path
/// then only names the input in messages.
[[nodiscard]] StageResult openInput(const std::filesystem::path& path, std::FILE* stream,
                                    std::unique_ptr<AudioSource>& input);

/// Catches database paths that cannot work (SaveError): none given, a folder, a folder that
/// does not exist.
[[nodiscard]] StageResult checkDatabasePath(const std::filesystem::path& path);
/// The same, and also (SaveError) a path that names the input file itself (through any path,
/// symbolic or hard link; input may be empty) and, unless replaceExisting, a path where anything
/// stands already, a dangling symbolic link too (targetExists set).
[[nodiscard]] StageResult checkDatabasePath(const std::filesystem::path& path,
                                            const std::filesystem::path& input,
                                            bool replaceExisting);

/// The mono sample of a sample frame: the left sample of a mono input; of a stereo one the floor
/// of the mean of the pair (an arithmetic shift, so -1.5 gives -2).
[[nodiscard]] constexpr std::int16_t monoSample(const SampleFrame& frame, bool stereo) {
    return stereo ? static_cast<std::int16_t>((std::int32_t{frame.left} + frame.right) >> 1)
                  : frame.left;
}

/// The mono samples of frames (monoSample of each) into mono, which holds frames.size().
void mixToMono(std::span<const SampleFrame> frames, bool stereo, std::int16_t* mono);

/// Sample frames read from the input at a time, at most.
inline constexpr std::size_t kInputBlockFrames = 16384;

/// The sample frames of a block at inputRate: kInputBlockFrames, fewer below 10000 Hz, so that a
/// block never stands for more than kInputBlockFrames samples at 10000 Hz (at 613 Hz a full
/// block would make 267000 of them, and the batches between the stages would grow alike).
[[nodiscard]] std::size_t inputBlockFrames(std::uint32_t inputRate);

/// Reads the input front to back and mixes it to 16-bit mono, one block at a time. An input of
/// known length is read exactly to its stated end; one of unknown length (kUnknownFrameCount)
/// until the source says it has reached the end, which gives the length.
class InputReader {
  public:
    /// input and path (which names the input in messages) must outlive the reader.
    InputReader(AudioSource& input, const std::filesystem::path& path);

    /// Reads up to inputBlockFrames() sample frames as mono samples into block (resized to what
    /// was read; empty at the end). ended becomes true once the input's last sample frame has been
    /// read. FileIoError when the input cannot be read to its end.
    [[nodiscard]] StageResult read(std::vector<std::int16_t>& block, bool& ended);

    /// Reads the rest of the input without keeping it, to learn its length (for an input of
    /// unknown length that is cut short). Checks stop at every block (Cancelled).
    [[nodiscard]] StageResult skipToEnd(const StopToken& stop);

    /// Sample frames read so far: the input's length once it has ended.
    [[nodiscard]] std::int64_t framesRead() const { return framesRead_; }
    /// The input's length as stated up front, or kUnknownFrameCount.
    [[nodiscard]] std::int64_t statedLength() const { return stated_; }
    /// The input's length: as stated, or else as read once the input has ended.
    [[nodiscard]] std::int64_t length() const {
        return stated_ != kUnknownFrameCount ? stated_ : framesRead_;
    }

  private:
    [[nodiscard]] StageResult readFrames(std::int64_t& count, bool& ended);

    AudioSource& input_;
    const std::filesystem::path& path_;
    bool stereo_;
    std::int64_t blockFrames_;
    std::int64_t stated_;
    std::int64_t framesRead_ = 0;
    bool ended_ = false;
    std::vector<SampleFrame> frames_;
};

/// One block of mono input as InputBlocks hands it on.
struct MonoBlock {
    std::span<const std::int16_t> samples;  ///< valid until the next call of InputBlocks::next()
    bool ended = false;                     ///< the input ended with these samples
};

/// The input's mono blocks in order, read on a thread of its own (readAhead) into a ring of
/// kReadAheadBlocks blocks, so that reading and mixing overlap the later stages, or else read on
/// the calling thread when next() is called. Either way the blocks are the same.
class InputBlocks {
  public:
    /// Blocks a reader thread may have ready (32 KiB each): more than one resampling batch, so
    /// that reading goes on while a batch is coded.
    static constexpr std::size_t kReadAheadBlocks = 8;

    /// reader and stop must outlive the blocks. readAhead is ignored in a build without threads
    /// and when the system refuses to start one.
    InputBlocks(InputReader& reader, const StopToken& stop, bool readAhead);
    /// Stops and joins the reader thread, if any.
    ~InputBlocks();
    InputBlocks(const InputBlocks&) = delete;
    InputBlocks& operator=(const InputBlocks&) = delete;

    /// The next block; the one before may be overwritten from now on. After a block that ended
    /// the input, or an error, next() must not be called again. FileIoError as
    /// InputReader::read(); Cancelled once stop is requested.
    [[nodiscard]] StageResult next(MonoBlock& block);

    /// Stops reading ahead: a reader thread ends after the block it is reading and is joined;
    /// the reader is then the caller's again.
    void stop();

    /// True while a thread reads ahead.
    [[nodiscard]] bool readsAhead() const { return ahead_ != nullptr; }
    /// The reader; the caller's only once stop() was called.
    [[nodiscard]] InputReader& reader() { return reader_; }

  private:
    struct Ahead;

    InputReader& reader_;
    const StopToken& stop_;
    std::vector<std::int16_t> block_;  ///< the block read on the calling thread
    std::unique_ptr<Ahead> ahead_;
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

/// Writes database to path (saveDatabase). SaveError when the file cannot be written whole, with
/// the path and the system's reason; unless replaceExisting, also when a file stands at path by
/// the time the database is put in place (targetExists set). Cancelled when stop is requested
/// before the file has replaced the target (nothing is then left behind).
[[nodiscard]] StageResult saveStage(PalmDatabase& database, const std::filesystem::path& path,
                                    const StopToken& stop, bool replaceExisting = true);
/// Writes database's file image to sink. SaveError when the sink refuses bytes; Cancelled when
/// stop is requested before the first byte is written.
[[nodiscard]] StageResult saveStage(PalmDatabase& database, ByteSink& sink, const StopToken& stop);

// --- Parts ---------------------------------------------------------------------------------

/// The databases a run fills, one after the other. Without splitting there is one, which takes
/// Frames until it is full, and is saved by saveStage. With splitting (ConversionSettings::split)
/// a part ends when the next Frame does not fit it, or once it holds the part length; the
/// finished part is written to a temporary file beside its target, and a new database, made as
/// the first was, takes the next Frames. save() then gives every part its title ("Title 1/3")
/// and puts them all in place; a run whose audio fitted the first part saves it as a run without
/// splitting does, at databasePath with the plain title. Memory holds one part at a time.
class DatabaseParts {
  public:
    /// settings and stop must outlive the parts. toSink: the run writes to a ByteSink, which
    /// takes one database, so it does not split.
    DatabaseParts(const ConversionSettings& settings, CodecCode codec, const StopToken& stop,
                  bool toSink);
    /// Removes the temporary files of parts not saved.
    ~DatabaseParts();
    DatabaseParts(const DatabaseParts&) = delete;
    DatabaseParts& operator=(const DatabaseParts&) = delete;

    /// Makes the first database (makeDatabase).
    [[nodiscard]] StageResult start();
    /// The database that takes the next Frames.
    [[nodiscard]] PalmDatabase& current() { return *current_; }
    /// True when a full database goes on in another part rather than ending the run.
    [[nodiscard]] bool splits() const { return splits_; }
    /// True when the current part, holding framesInPart Frames, has its length and ends before
    /// the next Frame.
    [[nodiscard]] bool complete(std::int64_t framesInPart) const {
        return partFrames_ > 0 && framesInPart >= partFrames_;
    }
    /// Ends the current part, which holds framesInPart Frames: writes it to its temporary file
    /// and makes the next database. SaveError when the file cannot be written (or exists, with
    /// keepExistingParts), FileIoError when memory runs out, Cancelled on a stop.
    [[nodiscard]] StageResult next(std::int64_t framesInPart);
    /// Parts so far, the current one included (until save()).
    [[nodiscard]] int count() const;

    /// Saves the run's databases, the current part holding framesInPart Frames: to sink when
    /// not null, else to their files (all of them, or none: a part that cannot be put in place
    /// takes the ones before it away again). Errors as saveStage.
    [[nodiscard]] StageResult save(std::int64_t framesInPart, ByteSink* sink);
    /// The databases save() wrote.
    [[nodiscard]] const std::vector<SavedDatabase>& saved() const { return saved_; }

  private:
    struct Finished;

    /// Writes the current part, holding framesInPart Frames, to its temporary file.
    [[nodiscard]] StageResult finishPart(std::int64_t framesInPart);

    const ConversionSettings& settings_;
    CodecCode codec_;
    const StopToken& stop_;
    bool splits_;
    std::int64_t partFrames_ = 0;  ///< the part length in Frames; 0 none
    std::string title_;            ///< the run's title, handheld text
    std::unique_ptr<PalmDatabase> current_;
    std::vector<Finished> finished_;
    std::vector<SavedDatabase> saved_;
};

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

/// Brings the mono input to 10000 Hz with the designed filter and linear interpolation of its
/// table, through the fast kernels (resample/fast_resampler.h): the samples resampleFile gives.
/// The input's length may be unknown until its end; the outputs are computed as the input
/// arrives either way, since each is a pure function of the input extended with zeros.
class RateConverter {
  public:
    RateConverter() = default;
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    /// Prepares a run of inputCount samples (or kUnknownFrameCount) at inputRate, computing on
    /// pool (which must outlive the converter; null for the calling thread only). FileIoError
    /// when the resampler refuses the rate (with its own status text).
    [[nodiscard]] StageResult start(std::int64_t inputCount, std::uint32_t inputRate,
                                    ThreadPool* pool);
    /// Takes the next input samples; appends the 10000 Hz samples they complete to output.
    [[nodiscard]] StageResult push(std::span<const std::int16_t> input,
                                   std::vector<std::int16_t>& output);
    /// The input has ended: appends every sample still to come to output. For an input of
    /// unknown length the samples pushed are its length, which sets size().
    [[nodiscard]] StageResult finish(std::vector<std::int16_t>& output);

    /// The run's size; for an input of unknown length known only after finish().
    [[nodiscard]] const RunSize& size() const { return size_; }
    /// Whether size() is known.
    [[nodiscard]] bool sizeKnown() const { return sizeKnown_; }

  private:
    [[nodiscard]] static StageResult resampleError(ResampleStatus status);

    std::uint32_t inputRate_ = 0;
    RunSize size_;
    bool sizeKnown_ = false;
    ResamplePlan plan_;
    std::optional<StreamResampler> stream_;
};

// --- Frame loop ----------------------------------------------------------------------------

/// The voice activity detector's setting for every run: Frames reaching a peak of 1024 or a mean
/// of 256 are loud, and 1400 samples (seven Frames) of hangover follow each loud one.
inline constexpr std::int16_t kDetectorPeakLimit = 1024;
inline constexpr std::int16_t kDetectorMeanLimit = 256;
inline constexpr std::int16_t kDetectorHangover = 1400;

/// Takes the resampled samples Frame by Frame, as they come: with detection on, a quiet Frame
/// becomes a one-byte silence chunk; any other Frame is coded by the FrameCoder behind marker 0.
/// Each chunk is appended to stream 0 of the current database of the parts. Samples short of a
/// whole Frame wait for the next call; a final partial Frame is never coded. When a part ends
/// (the Frame did not fit, or the part has its length) and the parts split, the next part
/// begins as any database does: the Frame is coded again by a fresh coder and detector.
class FrameLoop {
  public:
    /// A loop coding with coder; detection on or off.
    FrameLoop(std::unique_ptr<FrameCoder> coder, bool detection);

    /// Codes every whole Frame that samples complete into parts. Stops, with no error, once
    /// the database is full and the parts do not split (full()). FileIoError when memory runs
    /// out; the errors of DatabaseParts::next().
    [[nodiscard]] StageResult code(std::span<const std::int16_t> samples, DatabaseParts& parts);

    /// Frames stored in the databases so far.
    [[nodiscard]] std::int64_t framesCoded() const { return framesCoded_; }
    /// Frames stored in the current part.
    [[nodiscard]] std::int64_t framesInPart() const { return framesInPart_; }
    /// True once a Frame did not fit: the database is full and takes no more.
    [[nodiscard]] bool full() const { return full_; }

  private:
    [[nodiscard]] StageResult codeFrame(const std::int16_t* frame, DatabaseParts& parts);
    /// Ends the current part and starts the coder and detector afresh for the next.
    [[nodiscard]] StageResult nextPart(DatabaseParts& parts);

    std::unique_ptr<FrameCoder> coder_;
    bool detection_;
    VoiceActivityDetector detector_;
    std::int64_t framesInPart_ = 0;
    std::array<std::int16_t, kFrameSamples> partial_{};  ///< samples of an incomplete Frame
    std::size_t partialCount_ = 0;
    std::int64_t framesCoded_ = 0;
    bool full_ = false;
};

/// The Frame loop fed batch by batch: on a thread of its own (codeAhead), so that coding one
/// batch overlaps resampling the next, with at most kQueuedBatches waiting; or else on the
/// calling thread when a batch is handed over. Either way the Frames are coded in order, the
/// same.
class FrameStage {
  public:
    /// Batches that may wait for the coder thread.
    static constexpr std::size_t kQueuedBatches = 3;

    /// frames and parts must outlive the stage and are the stage's until finish().
    /// codeAhead is ignored in a build without threads and when the system refuses to start one.
    FrameStage(FrameLoop& frames, DatabaseParts& parts, bool codeAhead);
    /// Stops and joins the coder thread, if any, whatever it had still to code.
    ~FrameStage();
    FrameStage(const FrameStage&) = delete;
    FrameStage& operator=(const FrameStage&) = delete;

    /// The empty vector the next batch of samples goes into; the same one until it is handed
    /// over. Null once the coding has stopped: the database is full, or an error (finish()).
    [[nodiscard]] std::vector<std::int16_t>* nextBatch();
    /// Hands over the batch that nextBatch() gave; last: no more will follow.
    void handOver(bool last);
    /// Waits until every batch handed over has been coded, or, when the last was not handed
    /// over, stops the coding where it is. FileIoError as FrameLoop::code().
    [[nodiscard]] StageResult finish();

    /// Frames coded so far; may lag behind while a thread codes.
    [[nodiscard]] std::int64_t framesCoded() const;

  private:
    struct Ahead;

    FrameLoop& frames_;
    DatabaseParts& parts_;
    std::vector<std::int16_t> batch_;  ///< the batch coded on the calling thread
    StageResult error_;                ///< the calling thread's coding error
    std::unique_ptr<Ahead> ahead_;
};

// --- The streamed stages -------------------------------------------------------------------

/// Takes the input's blocks through rate into frames and parts until the input has ended or
/// the database is full (and the parts do not split); then stops reading (for an input of unknown
/// length cut short, the rest is read only to learn its length). With codeAhead the Frames are
/// coded on a thread of their own (FrameStage). Checks stop at every block (Cancelled). Reports the
/// fraction of the run's Frames coded; nothing for an input of unknown length.
[[nodiscard]] StageResult streamStages(InputBlocks& blocks, RateConverter& rate, FrameLoop& frames,
                                       DatabaseParts& parts, const StopToken& stop, bool codeAhead,
                                       const ProgressReport& progress);

}  // namespace zelvio
