// The converter's entry points for the web page, compiled to WebAssembly (web/CMakeLists.txt).
// The page's worker calls them through the module (web/site/worker.js); they run the same job as
// `zelvio convert`, on one thread, and keep the last result until the next call.
//
//   zelvio_convert_input("talk.wav", size, "talk.pdb", "talk", "", 4, 1, 0, 0, 0)
//                                 the file as our readers see it, its bytes fetched through
//                                 Module.zelvioRead: 4 bits, detection, one database, the
//                                 classic ADPCM codes. Called through ccall with async: true,
//                                 as the module may wait for the page's File while it runs
//   zelvio_convert_decoded(...)   samples the browser's decoder gave, pulled through
//                                 Module.zelvioPull block by block
//   zelvio_result_*               the outcome's kind, texts and the databases: one, or the parts
//                                 of a split run (talk-1.pdb, talk-2.pdb, ...), as files on the
//                                 module's file system
//   zelvio_decode(bytes, count)   a database back to 10000 Hz samples, for listening
//   zelvio_page_texts()           the dialog's texts the page shows, as JSON
//
// Progress goes to Module.zelvioProgress(fraction, stage) when the page sets it; a falsy answer
// stops the run (it then ends as cancelled, with nothing saved).

#include <emscripten.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "frontend/converter_form.h"
#include "frontend/outcome_text.h"
#include "frontend/progress_text.h"
#include "io/path_text.h"
#include "job/conversion_job.h"
#include "pdb/byte_sink.h"
#include "pdb/database_reader.h"
#include "pdb/stream_format.h"
#include "readback/database_decoder.h"
#include "wave/float_pcm_source.h"
#include "wave/input_file.h"

// clang-format off
EM_JS(int, zelvioReportProgress, (double fraction, int stage), {
    if (!Module.zelvioProgress) {
        return 1;
    }
    return Module.zelvioProgress(fraction, stage) ? 1 : 0;
});

EM_JS(int, zelvioPullSamples, (double first, int count, float* left, float* right), {
    if (!Module.zelvioPull) {
        return 0;
    }
    return Module.zelvioPull(first, count, left, right) ? 1 : 0;
});

// Module.zelvioRead(position, count, destination) copies up to count bytes of the input from
// position into the module's memory and gives how many it copied, -1 when the file cannot be
// read; or a promise of that, when the bytes are still on their way: the module then sleeps
// until they are there (Asyncify), which lets the page read ahead while the job works.
EM_JS(double, zelvioReadInput, (double position, double count, std::uint8_t* destination), {
    // Woken up, the module calls here again, with the same arguments, for what the promise gave.
    if (Asyncify.state === Asyncify.State.Normal) {
        const got = Module.zelvioRead(position, count, destination);
        if (typeof got === 'number') {
            return got;
        }
        Module.zelvioReading = got;
    }
    return Asyncify.handleSleep(function(wakeUp) {
        Module.zelvioReading.then(wakeUp, function() { wakeUp(-1); });
    });
});

EM_JS(void, zelvioKeepBytes, (const std::uint8_t* bytes, double count), {
    Module.zelvioDatabase.push(HEAPU8.slice(bytes, bytes + count));
});
// clang-format on

namespace {

using namespace zelvio;

/// One database a run saved, outside the module's memory (which would grow by the database
/// and never shrink again): a single database in pieces in Module.zelvioDatabase, the parts of
/// a split run as files on the module's file system (held in memory too). The page takes them
/// and removes them.
struct WebDatabase {
    std::string name;  ///< its file name: NAME.pdb, or NAME-1.pdb, NAME-2.pdb, ... for parts
    std::string path;  ///< the file, or "" for Module.zelvioDatabase
    std::uintmax_t size = 0;
};

/// What the last conversion gave.
struct WebResult {
    ConversionOutcome outcome;
    std::string detail;  ///< the summaries of the saved databases, or what went wrong
    std::vector<WebDatabase> databases;
};

/// Where a split run saves its parts.
constexpr const char* kDatabaseFolder = "/databases";

/// Hands each piece of the database to the page's side (Module.zelvioDatabase) as it is written.
class PageSink final : public ByteSink {
  public:
    [[nodiscard]] bool write(const std::uint8_t* bytes, std::size_t count) override {
        zelvioKeepBytes(bytes, static_cast<double>(count));
        size_ += count;
        return true;
    }
    [[nodiscard]] std::uintmax_t size() const { return size_; }

  private:
    std::uintmax_t size_ = 0;
};

/// The input's bytes as the page's worker hands them over (Module.zelvioRead).
class PageFile final : public InputFile {
  public:
    explicit PageFile(std::int64_t size) : InputFile(size) {}

    [[nodiscard]] std::int64_t read(void* destination, std::int64_t count) override {
        count = std::min(count, size() - position());
        if (count <= 0) {
            return 0;
        }
        const double got =
            zelvioReadInput(static_cast<double>(position()), static_cast<double>(count),
                            static_cast<std::uint8_t*>(destination));
        if (got < 0) {
            countFailedRead();
            return 0;
        }
        setPosition(position() + static_cast<std::int64_t>(got));
        return static_cast<std::int64_t>(got);
    }

    [[nodiscard]] bool seek(std::int64_t offset) override {
        if (offset < 0) {
            return false;
        }
        setPosition(offset);
        return true;
    }
};

WebResult result;
std::vector<std::int16_t> decoded;
std::string decodeError;

/// The choices the page's form offers beyond the texts and the mode.
struct WebOptions {
    bool voiceActivityDetection = false;
    bool split = false;
    int splitMinutes = 0;
    bool bestQuality = false;
};

/// The settings of a run, decided as the dialog decides them from its fields; on one thread.
ConversionSettings settingsFor(const char* inputName, const char* databaseName, const char* title,
                               const char* description, int bits, const WebOptions& options) {
    FormFields fields;
    fields.inputPath = inputName;
    fields.databasePath = databaseName;
    fields.title = title;
    fields.description = description;
    fields.checkedModeId = modeForBits(bits);
    fields.voiceActivityDetection = options.voiceActivityDetection;
    fields.bestQuality = options.bestQuality;
    fields.split = options.split || options.splitMinutes > 0;  // as --split-minutes implies
    ConversionSettings settings = settingsFromFields(fields);
    settings.splitMinutes = std::max(options.splitMinutes, 0);
    settings.threads = 1;
    return settings;
}

/// The size of a saved file, once it is readable to the page: it was saved with the permissions
/// the umask gives a new file, which on the module's file system may leave it unreadable.
/// nullopt when it cannot be found out.
std::optional<std::uintmax_t> readableSize(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::permissions(path, std::filesystem::perms::owner_read,
                                 std::filesystem::perm_options::add, error);
    const std::uintmax_t size = error ? 0 : std::filesystem::file_size(path, error);
    if (error) {
        return std::nullopt;
    }
    return size;
}

/// A control of the page and the dialog's control it stands for.
struct PageControl {
    const char* element;  ///< the page's element id (a radio button: bits-N)
    int control;          ///< control_id
    const char* text;     ///< form_text, with its mnemonic
};

constexpr PageControl kPageControls[] = {
    {"input-file", control_id::kInputPath, form_text::kInputLabel},
    {"title", control_id::kTitle, form_text::kTitleLabel},
    {"description", control_id::kDescription, form_text::kDescriptionLabel},
    {"bits-8", control_id::kEightBits, form_text::kEightBits},
    {"bits-4", control_id::kFourBits, form_text::kFourBits},
    {"bits-3", control_id::kThreeBits, form_text::kThreeBits},
    {"bits-2", control_id::kTwoBits, form_text::kTwoBits},
    {"best-quality", control_id::kBestQuality, form_text::kBestQuality},
    {"vad", control_id::kVoiceActivity, form_text::kVoiceActivity},
    {"split", control_id::kSplit, form_text::kSplit},
};

/// text as a JSON string.
std::string jsonText(std::string_view text) {
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            constexpr const char* kHex = "0123456789abcdef";
            json += "\\u00";
            json += kHex[(c >> 4) & 0xf];
            json += kHex[c & 0xf];
        } else {
            json += c;
        }
    }
    return json + "\"";
}

/// The dialog's texts for the page: for each control its label (without the mnemonic marker),
/// its mnemonic letter (the page's access key) and its description (the page's hint); the mode
/// group's legend; and the outcome texts the page gives itself (a failure before the converter
/// runs, a cancelled run).
std::string pageTexts() {
    std::string json = "{\"controls\":[";
    for (const PageControl& page : kPageControls) {
        const char* description = "";
        for (const AccessibleText& accessible : kAccessibleTexts) {
            if (accessible.id == page.control) {
                description = accessible.description;
            }
        }
        const std::optional<char> mnemonic = mnemonicOf(page.text);
        json += std::string(&page == kPageControls ? "" : ",") +
                "{\"id\":" + jsonText(page.element) +
                ",\"label\":" + jsonText(withoutMnemonic(page.text)) +
                ",\"key\":" + jsonText(mnemonic ? std::string(1, *mnemonic) : "") +
                ",\"hint\":" + jsonText(description) + "}";
    }
    json += "],\"modeGroup\":" + jsonText(withoutMnemonic(form_text::kModeGroup));
    json += ",\"outcome\":{\"inputError\":" + jsonText(kInputErrorText) +
            ",\"fileIoError\":" + jsonText(kFileIoErrorText) +
            ",\"cancelled\":" + jsonText(kCancelledText) +
            ",\"errorCaption\":" + jsonText(kErrorCaption) +
            ",\"cancelledCaption\":" + jsonText(kCancelledCaption) + "}}";
    return json;
}

/// Runs the job and keeps what it gives; the kind of its outcome as a number (OutcomeKind). The
/// databases are saved as files, named and titled as the command line's.
int runAndKeep(ConversionSettings settings, std::unique_ptr<AudioSource> input) {
    result = WebResult{};
    const std::string databaseName = settings.databasePath.filename().string();
    std::error_code ignored;
    if (settings.split) {
        std::filesystem::create_directories(kDatabaseFolder, ignored);
        settings.databasePath = std::filesystem::path(kDatabaseFolder) / databaseName;
    }
    StopToken stop;
    settings.stop = &stop;
    int lastPermille = -1;
    int lastStage = -1;
    ConversionJob job(settings, [&](double fraction, ConversionStage stage) {
        // Only a change the page can show is passed on, so that the messages stay few.
        const int permille = static_cast<int>(fraction * 1000.0);
        const int stageNumber = static_cast<int>(stage);
        if (permille == lastPermille && stageNumber == lastStage) {
            return;
        }
        lastPermille = permille;
        lastStage = stageNumber;
        if (zelvioReportProgress(fraction, stageNumber) == 0) {
            stop.request();
        }
    });
    if (input != nullptr) {
        job.readInputFrom(std::move(input));
    }
    PageSink sink;
    if (!settings.split) {
        job.writeDatabaseTo(sink);
    }
    result.outcome = job.run();
    if (result.outcome.failed()) {
        result.detail = result.outcome.detail;
        return static_cast<int>(result.outcome.kind);
    }
    if (!settings.split) {
        result.databases.push_back({databaseName, "", sink.size()});
        result.outcome.databases.front().path = databaseName;
    }
    for (SavedDatabase& saved : result.outcome.databases) {
        if (!settings.split) {
            break;
        }
        WebDatabase database{saved.path.filename().string(), saved.path.string()};
        const std::optional<std::uintmax_t> size = readableSize(saved.path);
        if (!size) {
            const std::string detail = "cannot write " + quotedPath(saved.path.filename());
            for (const WebDatabase& done : result.databases) {
                std::filesystem::remove(done.path, ignored);
            }
            result = WebResult{};
            result.outcome.kind = OutcomeKind::SaveError;
            result.outcome.message = kSaveErrorText;
            result.outcome.caption = kErrorCaption;
            result.outcome.icon = OutcomeIcon::Stop;
            result.outcome.detail = detail;
            result.detail = detail;
            return static_cast<int>(result.outcome.kind);
        }
        database.size = *size;
        saved.path = database.name;  // named in the summaries as the download names it
        result.databases.push_back(std::move(database));
    }
    // The command line's summary lines, one for each database, named by file name alone.
    settings.databasePath = databaseName;
    const auto sizeOf = [](const std::filesystem::path& path) -> std::optional<std::uintmax_t> {
        for (const WebDatabase& database : result.databases) {
            if (database.name == path.string()) {
                return database.size;
            }
        }
        return std::nullopt;
    };
    for (const std::string& line : savedSummaries(settings, result.outcome, sizeOf)) {
        result.detail += (result.detail.empty() ? "" : "\n") + line;
    }
    return static_cast<int>(result.outcome.kind);
}

/// Keeps the outcome of an input that cannot be read (text says why) and gives its kind.
int refuseInput(const ConversionSettings& settings, std::string_view text) {
    result = WebResult{};
    result.outcome.kind = OutcomeKind::InputError;
    result.outcome.message = kInputErrorText;
    result.outcome.caption = kErrorCaption;
    result.outcome.icon = OutcomeIcon::Stop;
    result.outcome.detail = quotedPath(settings.inputPath) + ": " + std::string(text);
    result.detail = result.outcome.detail;
    return static_cast<int>(result.outcome.kind);
}

/// The options as the page passes them: flags as 0 or 1, splitMinutes 0 for parts that end only
/// when full.
WebOptions optionsOf(int vad, int split, int splitMinutes, int bestQuality) {
    return WebOptions{vad != 0, split != 0, splitMinutes, bestQuality != 0};
}

}  // namespace

extern "C" {

/// Converts the input named inputName, size bytes long, with our own readers; its bytes come
/// through Module.zelvioRead. vad, split and bestQuality are 0 or 1 (the form's check boxes;
/// bestQuality picks the search encoder, as `--encoder search`); splitMinutes as
/// `--split-minutes` (it implies split), 0 for none. Returns the outcome's kind: 0 saved, 1 saved
/// but cut, 2 input error, 3 read error, 4 save error, 5 cancelled.
EMSCRIPTEN_KEEPALIVE int zelvio_convert_input(const char* inputName, double size,
                                              const char* databaseName, const char* title,
                                              const char* description, int bits, int vad, int split,
                                              int splitMinutes, int bestQuality) {
    ConversionSettings settings = settingsFor(inputName, databaseName, title, description, bits,
                                              optionsOf(vad, split, splitMinutes, bestQuality));
    OpenedAudio opened =
        openAudioSource(std::make_shared<PageFile>(static_cast<std::int64_t>(size)));
    if (opened.status != kAudioOk) {
        return refuseInput(settings, opened.errorText);
    }
    return runAndKeep(std::move(settings), std::move(opened.source));
}

/// Converts samples the browser decoded: frameCount sample frames of channels planes at
/// sampleRate, which Module.zelvioPull(first, count, leftPointer, rightPointer) copies into the
/// module's memory as they are needed. inputName names the input in messages; format describes
/// it and notice says how it was read (both for the outcome). The options as zelvio_convert_input.
EMSCRIPTEN_KEEPALIVE int zelvio_convert_decoded(const char* inputName, const char* databaseName,
                                                const char* title, const char* description,
                                                int bits, int vad, int split, int splitMinutes,
                                                int bestQuality, double sampleRate, int channels,
                                                double frameCount, const char* format,
                                                const char* notice) {
    ConversionSettings settings = settingsFor(inputName, databaseName, title, description, bits,
                                              optionsOf(vad, split, splitMinutes, bestQuality));
    FloatPcmFormat pcm;
    pcm.sampleRate = static_cast<std::uint32_t>(sampleRate);
    pcm.channels = static_cast<std::uint16_t>(channels);
    pcm.frameCount = static_cast<std::int64_t>(frameCount);
    pcm.description = format;
    pcm.notice = notice;
    OpenedAudio opened = openFloatPcmSource(
        std::move(pcm), [](std::int64_t first, std::int64_t count, float* left, float* right) {
            return zelvioPullSamples(static_cast<double>(first), static_cast<int>(count), left,
                                     right) != 0;
        });
    if (opened.status != kAudioOk) {
        return refuseInput(settings, opened.errorText);
    }
    return runAndKeep(std::move(settings), std::move(opened.source));
}

/// The last outcome's texts: 0 the message, 1 the caption, 2 the detail (the summary of a saved
/// database, or what went wrong), 3 the notice on how the input was read. Empty for others.
EMSCRIPTEN_KEEPALIVE const char* zelvio_result_text(int which) {
    switch (which) {
        case 0:
            return result.outcome.message.c_str();
        case 1:
            return result.outcome.caption.c_str();
        case 2:
            return result.detail.c_str();
        case 3:
            return result.outcome.inputNotice.c_str();
        default:
            return "";
    }
}

/// The progress line the dialog shows for fraction done in stage (ConversionStage as a number)
/// after elapsedMs milliseconds, e.g. "Converting: 45%, about 25 s left".
EMSCRIPTEN_KEEPALIVE const char* zelvio_progress_text(double fraction, int stage,
                                                      double elapsedMs) {
    static std::string text;
    text = progressView(fraction, static_cast<ConversionStage>(stage),
                        std::chrono::milliseconds(static_cast<std::int64_t>(elapsedMs)))
               .text;
    return text.c_str();
}

/// How many databases the last run saved: 0 when it failed, 1, or the parts of a split run.
EMSCRIPTEN_KEEPALIVE int zelvio_result_count() {
    return static_cast<int>(result.databases.size());
}

/// Database which (0 to zelvio_result_count() - 1): its file name, and the file that holds it on
/// the module's file system (the page reads it and removes it), or "" when the pieces in
/// Module.zelvioDatabase hold it; "" for any other number.
EMSCRIPTEN_KEEPALIVE const char* zelvio_result_name(int which) {
    return which >= 0 && which < zelvio_result_count()
               ? result.databases[static_cast<std::size_t>(which)].name.c_str()
               : "";
}
EMSCRIPTEN_KEEPALIVE const char* zelvio_result_path(int which) {
    return which >= 0 && which < zelvio_result_count()
               ? result.databases[static_cast<std::size_t>(which)].path.c_str()
               : "";
}

/// The dialog's texts the page shows (see pageTexts), as JSON.
EMSCRIPTEN_KEEPALIVE const char* zelvio_page_texts() {
    static const std::string texts = pageTexts();
    return texts.c_str();
}

/// Lets go of the last result's memory.
EMSCRIPTEN_KEEPALIVE void zelvio_result_clear() {
    result = WebResult{};
}

/// Checks the database in bytes[0..count-1] and decodes it to 10000 Hz 16-bit samples, as the
/// handheld plays it (silence as zeros). Returns the sample count, or -1 with the reason in
/// zelvio_decode_error().
EMSCRIPTEN_KEEPALIVE double zelvio_decode(const std::uint8_t* bytes, double count) {
    decoded.clear();
    decoded.shrink_to_fit();
    decodeError.clear();
    DatabaseReader reader;
    if (reader.parse({bytes, static_cast<std::size_t>(count)}) != kReadOk) {
        decodeError = reader.errorText();
        return -1;
    }
    DatabaseDecoder decoder(reader);
    decoded.resize(static_cast<std::size_t>(decoder.frameCount()) * kFrameSamples);
    std::int16_t* at = decoded.data();
    while (decoder.nextFrame(at)) {
        at += kFrameSamples;
    }
    return static_cast<double>(decoded.size());
}
EMSCRIPTEN_KEEPALIVE const std::int16_t* zelvio_decoded_samples() {
    return decoded.data();
}
EMSCRIPTEN_KEEPALIVE const char* zelvio_decode_error() {
    return decodeError.c_str();
}

}  // extern "C"
