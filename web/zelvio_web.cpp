// The converter's entry points for the web page, compiled to WebAssembly (web/CMakeLists.txt).
// The page's worker calls them through the module (web/site/worker.js); they run the same job as
// `zelvio convert`, on one thread, and keep the last result until the next call.
//
//   zelvio_convert_file("talk.wav", "talk.pdb", "talk", "", 4, 1)   the file as our readers see it
//   zelvio_convert_decoded(...)   samples the browser's decoder gave, pulled through
//                                 Module.zelvioPull block by block
//   zelvio_result_*               the outcome's kind, texts and the database bytes
//   zelvio_decode(bytes, count)   a database back to 10000 Hz samples, for listening
//
// Progress goes to Module.zelvioProgress(fraction, stage) when the page sets it; a falsy answer
// stops the run (it then ends as cancelled, with nothing saved).

#include <emscripten.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "frontend/outcome_text.h"
#include "frontend/progress_text.h"
#include "io/path_text.h"
#include "job/conversion_job.h"
#include "pdb/byte_sink.h"
#include "pdb/database_reader.h"
#include "pdb/stream_format.h"
#include "readback/database_decoder.h"
#include "wave/float_pcm_source.h"

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
// clang-format on

namespace {

using namespace zelvio;

/// What the last conversion gave.
struct WebResult {
    ConversionOutcome outcome;
    std::string detail;  ///< the summary of a saved database, or what went wrong
    std::vector<std::uint8_t> database;
};

WebResult result;
std::vector<std::int16_t> decoded;
std::string decodeError;

ConversionSettings settingsFor(const char* inputName, const char* databaseName, const char* title,
                               const char* description, int bits, int vad) {
    ConversionSettings settings;
    settings.inputPath = inputName;
    settings.databasePath = databaseName;
    settings.title = title;
    settings.description = description;
    settings.bitsPerSample = bits;
    settings.voiceActivityDetection = vad != 0;
    settings.threads = 1;
    return settings;
}

/// Collects the database straight into the result, so that the module holds it once.
class ResultSink final : public ByteSink {
  public:
    explicit ResultSink(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    [[nodiscard]] bool write(const std::uint8_t* bytes, std::size_t count) override {
        bytes_.insert(bytes_.end(), bytes, bytes + count);
        return true;
    }

  private:
    std::vector<std::uint8_t>& bytes_;
};

/// Runs the job and keeps what it gives; the kind of its outcome as a number (OutcomeKind).
int runAndKeep(ConversionSettings settings, std::unique_ptr<AudioSource> input) {
    result = WebResult{};
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
    ResultSink sink(result.database);
    job.writeDatabaseTo(sink);
    result.outcome = job.run();
    if (result.outcome.failed()) {
        result.database = {};
        result.detail = result.outcome.detail;
    } else {
        result.detail = savedSummary(settings, result.outcome, result.database.size());
    }
    return static_cast<int>(result.outcome.kind);
}

}  // namespace

extern "C" {

/// Converts the file at path (on the module's file system, e.g. a browser File mounted there)
/// with our own readers. Returns the outcome's kind: 0 saved, 1 saved but cut, 2 input error,
/// 3 read error, 4 save error, 5 cancelled.
EMSCRIPTEN_KEEPALIVE int zelvio_convert_file(const char* path, const char* databaseName,
                                             const char* title, const char* description, int bits,
                                             int vad) {
    return runAndKeep(settingsFor(path, databaseName, title, description, bits, vad), nullptr);
}

/// Converts samples the browser decoded: frameCount sample frames of channels planes at
/// sampleRate, which Module.zelvioPull(first, count, leftPointer, rightPointer) copies into the
/// module's memory as they are needed. inputName names the input in messages; format describes
/// it and notice says how it was read (both for the outcome).
EMSCRIPTEN_KEEPALIVE int zelvio_convert_decoded(const char* inputName, const char* databaseName,
                                                const char* title, const char* description,
                                                int bits, int vad, double sampleRate, int channels,
                                                double frameCount, const char* format,
                                                const char* notice) {
    ConversionSettings settings =
        settingsFor(inputName, databaseName, title, description, bits, vad);
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
        result = WebResult{};
        result.outcome.kind = OutcomeKind::InputError;
        result.outcome.message = kInputErrorText;
        result.outcome.caption = kErrorCaption;
        result.outcome.icon = OutcomeIcon::Stop;
        result.outcome.detail = quotedPath(settings.inputPath) + ": " + opened.errorText;
        result.detail = result.outcome.detail;
        return static_cast<int>(result.outcome.kind);
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

/// The last saved database's bytes and their count (0 when nothing was saved).
EMSCRIPTEN_KEEPALIVE const std::uint8_t* zelvio_result_bytes() {
    return result.database.data();
}
EMSCRIPTEN_KEEPALIVE double zelvio_result_size() {
    return static_cast<double>(result.database.size());
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
