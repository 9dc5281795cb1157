#pragma once
// The conversion job: one audio file in (RIFF WAVE, or any format the build's readers take), one
// audio database out.
//
//   ConversionSettings settings;
//   settings.inputPath = "talk.wav";
//   settings.databasePath = "talk.pdb";
//   settings.bitsPerSample = 4;
//   ConversionOutcome outcome = ConversionJob(settings).run();
//   if (outcome.failed()) { show(outcome.message, outcome.detail); }
//
// The input streams through the stages block by block: read and mixed to 16-bit mono, brought to
// 10000 samples per second, cut into Frames of 200 samples, optionally reduced to one-byte silence
// chunks, coded (8-bit PCM or 4-, 3- or 2-bit ADPCM) and stored in the database image, which is
// saved at the end. Nothing but the database is written, and memory stays flat in the input's
// length: a few blocks of samples, the resampler's coefficient table and the database image. Once
// the database is full the input is read no further. The job prints nothing: front ends show the
// outcome. The stages run() goes through are declared, one by one, in job/stages.h.
//
// Threads: with settings.threads other than 1 the input is read ahead on a thread of its own, the
// rate conversion is split over a pool of threads and the Frames are coded on a thread of their
// own; the bytes written are the same with any number of threads.
//
// Stopping: a run may be stopped from another thread or a signal handler. From a user interface,
// run the job on a worker thread and keep its StopToken (job/stop_token.h):
//
//   StopToken stop;                                    // lives longer than the run
//   settings.stop = &stop;
//   worker = std::thread([=, &stop] { emit(ConversionJob(settings, progress).run()); });
//   ...
//   stop.request();                                    // Cancel pressed: soon after, run() gives
//                                                      // OutcomeKind::Cancelled, nothing written
//
// The progress callback is called on the worker thread; a front end passes the fraction on to
// its own thread.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "coding/frame_coder.h"
#include "job/stop_token.h"

namespace zelvio {

class AudioSource;
class ByteSink;

/// What the user chose. Texts are UTF-8; the job converts them for the handheld.
struct ConversionSettings {
    std::filesystem::path inputPath;      ///< audio file to convert
    std::filesystem::path databasePath;   ///< database file to write
    std::string title;                    ///< database name; first 31 characters are used
    std::string description;              ///< stored in the information record; first 63 used
    int bitsPerSample = 8;                ///< 8, 4 or 3; any other value codes at 2 bits
    bool voiceActivityDetection = false;  ///< store quiet Frames as one-byte silence chunks
    /// How ADPCM codes are chosen: Greedy gives the bytes databases have always had; Search
    /// decodes closer to the input (about 3 dB on speech) for some 30 to 40 s of one core per
    /// hour of audio. 8-bit PCM is the same either way.
    AdpcmCoding adpcmCoding = AdpcmCoding::Greedy;
    /// The search's width with AdpcmCoding::Search (see SearchAdpcmEncoder); 0 its default.
    int searchPaths = 0;
    /// Threads the run may use: 0 all the processor's (at most 8), 1 the calling thread only.
    unsigned threads = 0;
    /// Whether the database may replace a file at databasePath. When false, a file there (or one
    /// that appears there during the run) is kept and the run ends with SaveError and
    /// ConversionOutcome::targetExists; the database is put in place so that it never replaces a
    /// file that another process made meanwhile.
    bool replaceExisting = true;
    /// When not null, the run stops once stop->request() is called (from any thread, or a signal
    /// handler): it then writes nothing and ends with OutcomeKind::Cancelled. The token must
    /// outlive the run.
    StopToken* stop = nullptr;
    /// Audio that does not fit one database goes on in more databases (parts) instead of being
    /// cut: NAME-1.pdb, NAME-2.pdb, ... beside databasePath, titled "Title 1/3", "Title 2/3", ...
    /// (see job/database_parts.h). Audio that fits is saved as without splitting, byte for byte.
    /// A run that writes to a ByteSink (writeDatabaseTo) writes one database and cuts.
    bool split = false;
    /// With split: a part also ends once it holds this many minutes (at that Frame edge), so
    /// that the parts are of even length; 0 ends parts only when the next Frame does not fit.
    int splitMinutes = 0;
    /// With split: a part whose file exists already stops the run (SaveError) instead of
    /// replacing it. Checked as each part is begun, so before its Frames are coded.
    bool keepExistingParts = false;
};

/// How a run ended.
enum class OutcomeKind {
    Success,       ///< the database was saved with all the audio
    DatabaseFull,  ///< the database was saved, but the audio did not fit: the end was cut
    InputError,    ///< the input cannot be opened or is not a WAVE file we can convert
    FileIoError,   ///< the input could not be read to its end, or memory ran out
    SaveError,     ///< the database file could not be written
    Cancelled,     ///< the run was stopped on request (ConversionSettings::stop): nothing written
};

/// One database file a run saved.
struct SavedDatabase {
    std::filesystem::path path;     ///< where it was saved (empty when written to a ByteSink)
    std::string title;              ///< its name on the handheld (handheld text)
    std::int64_t framesCoded = 0;   ///< Frames it holds
    std::uint16_t recordCount = 0;  ///< records it holds
};

/// The box a front end shows for an outcome.
enum class OutcomeIcon { Information, Warning, Stop };

struct ConversionOutcome {
    OutcomeKind kind = OutcomeKind::Success;
    std::string message;  ///< the converter's own text, e.g. "FILE IO error!"
    std::string caption;  ///< "Error" or "Audio Database Saved"
    OutcomeIcon icon = OutcomeIcon::Information;
    std::string detail;  ///< what exactly went wrong, for the user; empty on plain success
    std::int64_t framesCoded = 0;   ///< Frames stored in the database
    std::int64_t framesTotal = 0;   ///< Frames the input gave (more than framesCoded when full)
    std::uint16_t recordCount = 0;  ///< records in the saved database
    /// Something the user should know about how the input was read (which of several audio
    /// tracks was converted); empty for most inputs.
    std::string inputNotice;
    /// A SaveError because a file stands at the database path and ConversionSettings::
    /// replaceExisting was false.
    bool targetExists = false;
    /// The databases saved, in order: one, or with ConversionSettings::split the parts. Empty
    /// when the run failed. framesCoded counts the Frames of all of them.
    std::vector<SavedDatabase> databases;

    [[nodiscard]] bool failed() const {
        return kind != OutcomeKind::Success && kind != OutcomeKind::DatabaseFull;
    }
};

/// The texts of the outcomes.
inline constexpr const char* kInputErrorText = "Cannot open input WAVE file!";
inline constexpr const char* kFileIoErrorText = "FILE IO error!";
inline constexpr const char* kSaveErrorText = "FILE IO error when creating database file!";
inline constexpr const char* kSuccessText =
    "Conversion completed successfully, audio database file saved.";
inline constexpr const char* kCancelledText = "Conversion cancelled";
inline constexpr const char* kErrorCaption = "Error";
inline constexpr const char* kCancelledCaption = "Cancelled";
inline constexpr const char* kSavedCaption = "Audio Database Saved";

/// Input rates a conversion accepts. The designed 65-tap filter and the resampler's 4096-sample
/// working buffer set the bounds for a 10000 Hz output: at 612 Hz the time step is 2005 and a
/// full block of 4010 intervals would yield 4010 x 32768 / 2005 = 65536 samples, one too many;
/// above 617575 Hz the history trunc(33 x rate / 10000 + 10) reaches 2048, half the buffer.
inline constexpr std::uint32_t kMinInputRate = 613;
inline constexpr std::uint32_t kMaxInputRate = 617575;

/// Formats a duration in milliseconds as minutes:seconds, e.g. 83:20.
std::string formatMinutesSeconds(std::int64_t milliseconds);

/// The file of part (1, 2, ...) of a split run writing databasePath: NAME-1.pdb, NAME-2.pdb, ...
/// beside NAME.pdb (the extension kept as given, none when it has none).
[[nodiscard]] std::filesystem::path partDatabasePath(const std::filesystem::path& databasePath,
                                                     int part);

/// The title of part of parts (1 <= part <= parts): title (handheld text) with " part/parts"
/// appended, title shortened first (and trailing spaces dropped) so that the whole fits the 31
/// characters of a database name: parts installed together need names of their own, as the
/// handheld replaces a database of the same name.
[[nodiscard]] std::string partTitle(std::string_view title, int part, int parts);

/// Frames at 10000 Hz in minutes of audio (3000 a minute).
inline constexpr std::int64_t kFramesPerMinute = 3000;

/// The parts of a run, in the order it goes through them, as progress reports name them.
enum class ConversionStage {
    Reading,  ///< the input is opened and its header checked
    /// the input is read, mixed to mono, brought to 10000 Hz, checked for silence and coded, all
    /// streamed together
    Converting,
    Saving,  ///< the database file is written
};

class ConversionJob {
  public:
    /// Called with the fraction done (0 to 1, never falling), from the thread that runs the job:
    /// 0 at the start, then as Frames are coded, 1 once the database is saved. For an input
    /// whose length is known only at its end the fraction cannot be known: such a run reports 0
    /// at the start and 1 at the end only, and a front end should show it as busy meanwhile.
    using ProgressCallback = std::function<void(double fraction)>;
    /// Called with the fraction done (0 to 1) and the stage the run is in, from the thread that
    /// runs the job. Neither the fraction nor the stage ever goes back.
    using StageProgressCallback = std::function<void(double fraction, ConversionStage stage)>;

    explicit ConversionJob(ConversionSettings settings, ProgressCallback progress = {});
    ConversionJob(ConversionSettings settings, StageProgressCallback progress);

    ~ConversionJob();
    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    /// Reads the samples from input, already open, instead of opening settings.inputPath (which
    /// then only names the input in messages). Its length may be unknown (kUnknownFrameCount).
    void readInputFrom(std::unique_ptr<AudioSource> input);
    /// Reads the input from stream (open, binary, able to seek, holding the input from its
    /// start, e.g. standard input spooled to a scratch file) instead of opening
    /// settings.inputPath, which then only names the input in messages. The caller keeps the
    /// stream open until run() returns.
    void readInputFrom(std::FILE* stream) { inputStream_ = stream; }
    /// Writes the finished database to sink, whole, instead of to settings.databasePath (which
    /// is then not looked at). The sink must outlive run().
    void writeDatabaseTo(ByteSink& sink) { databaseSink_ = &sink; }

    /// Runs the whole conversion. Blocking; may be called once.
    ConversionOutcome run();

    /// Asks a running (or not yet started) run to stop, through settings.stop when it was given.
    /// Safe from any thread while run() runs.
    void requestStop() noexcept { stopToken().request(); }

  private:
    [[nodiscard]] StopToken& stopToken() noexcept {
        return settings_.stop != nullptr ? *settings_.stop : ownStop_;
    }

    ConversionSettings settings_;
    StageProgressCallback progress_;
    std::unique_ptr<AudioSource> input_;
    std::FILE* inputStream_ = nullptr;
    ByteSink* databaseSink_ = nullptr;
    StopToken ownStop_;  ///< the run's token when the settings name none
};

/// The file name patterns of the inputs this build reads, space-separated ("*.wav *.flac ..."),
/// for file dialogs.
[[nodiscard]] std::string inputFilePatterns();

}  // namespace zelvio
