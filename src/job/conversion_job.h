#pragma once
// The conversion job: one WAVE file in, one audio database out.
//
//   ConversionSettings settings;
//   settings.inputPath = "talk.wav";
//   settings.databasePath = "talk.pdb";
//   settings.bitsPerSample = 4;
//   ConversionOutcome outcome = ConversionJob(settings).run();
//   if (outcome.failed()) { show(outcome.message, outcome.detail); }
//
// The input is staged as 16-bit mono in a scratch file, brought to 10000 samples per second in a
// second scratch file, cut into Frames of 200 samples, optionally reduced to one-byte silence
// chunks, coded (8-bit PCM or 4-, 3- or 2-bit ADPCM) and stored in the database image, which is
// saved at the end. Scratch files live in the system's temporary folder (TMPDIR) under unique
// names and are removed on every way out. The job prints nothing: front ends show the outcome.
// The stages run() goes through are declared, one by one, in job/stages.h.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace zelvio {

/// What the user chose. Texts are UTF-8; the job converts them for the handheld.
struct ConversionSettings {
    std::filesystem::path inputPath;      ///< WAVE file to convert
    std::filesystem::path databasePath;   ///< database file to write
    std::string title;                    ///< database name; first 31 characters are used
    std::string description;              ///< stored in the information record; first 63 used
    int bitsPerSample = 8;                ///< 8, 4 or 3; any other value codes at 2 bits
    bool voiceActivityDetection = false;  ///< store quiet Frames as one-byte silence chunks
};

/// How a run ended.
enum class OutcomeKind {
    Success,       ///< the database was saved with all the audio
    DatabaseFull,  ///< the database was saved, but the audio did not fit: the end was cut
    InputError,    ///< the input cannot be opened or is not a WAVE file we can convert
    FileIoError,   ///< a scratch file could not be written or read
    SaveError,     ///< the database file could not be written
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
inline constexpr const char* kErrorCaption = "Error";
inline constexpr const char* kSavedCaption = "Audio Database Saved";

/// Input rates a conversion accepts. The designed 65-tap filter and the resampler's 4096-sample
/// working buffer set the bounds for a 10000 Hz output: at 612 Hz the time step is 2005 and a
/// full block of 4010 intervals would yield 4010 x 32768 / 2005 = 65536 samples, one too many;
/// above 617575 Hz the history trunc(33 x rate / 10000 + 10) reaches 2048, half the buffer.
inline constexpr std::uint32_t kMinInputRate = 613;
inline constexpr std::uint32_t kMaxInputRate = 617575;

/// Formats a duration in milliseconds as minutes:seconds, e.g. 83:20.
std::string formatMinutesSeconds(std::int64_t milliseconds);

/// The parts of a run, in the order it goes through them, as progress reports name them.
enum class ConversionStage {
    Reading,     ///< the input is read and mixed to mono
    Converting,  ///< the samples are brought to 10000 Hz, checked for silence and coded
    Saving,      ///< the database file is written
};

class ConversionJob {
  public:
    /// Called with the fraction done (0 to 1), from the thread that runs the job.
    using ProgressCallback = std::function<void(double fraction)>;
    /// Called with the fraction done (0 to 1) and the stage the run is in, from the thread that
    /// runs the job. Neither the fraction nor the stage ever goes back.
    using StageProgressCallback = std::function<void(double fraction, ConversionStage stage)>;

    explicit ConversionJob(ConversionSettings settings, ProgressCallback progress = {});
    ConversionJob(ConversionSettings settings, StageProgressCallback progress);

    /// Runs the whole conversion. Blocking; may be called once.
    ConversionOutcome run();

  private:
    ConversionSettings settings_;
    StageProgressCallback progress_;
};

}  // namespace zelvio
