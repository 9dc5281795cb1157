#include "wave/ffmpeg_source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "wave/sample_conversion.h"

namespace zelvio {
namespace {

// Bytes FFmpeg reads from the file at a time.
constexpr int kIoBufferBytes = 64 * 1024;

#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(59, 24, 100)
int channelsOf(const AVCodecParameters& parameters) {
    return parameters.ch_layout.nb_channels;
}
int channelsOf(const AVFrame& frame) {
    return frame.ch_layout.nb_channels;
}
#else
int channelsOf(const AVCodecParameters& parameters) {
    return parameters.channels;
}
int channelsOf(const AVFrame& frame) {
    return frame.channels;
}
#endif

// A stream whose header states its length and that decodes to fewer sample frames than that,
// by more than this share or this count (encoder delay and padding), is taken as cut short.
constexpr std::int64_t kShortfallFrames = 8192;
constexpr std::int64_t kShortfallPerMille = 10;

// The libraries print their messages on standard error unless told otherwise; a library of ours
// prints nothing. Their log goes (once, for the whole process) to a callback that keeps the first
// error a source's reads cause, on the thread that reads, and drops everything else: a damaged
// page or packet that the libraries pass over (a CRC mismatch, a hole in an Ogg stream) is
// reported only there.
thread_local std::string* tCapturedError = nullptr;

void captureLog(void*, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR || tCapturedError == nullptr || !tCapturedError->empty()) {
        return;
    }
    char line[256];
    va_list copy;
    va_copy(copy, arguments);
    std::vsnprintf(line, sizeof line, format, copy);
    va_end(copy);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    *tCapturedError = text.empty() ? "an unnamed error" : text;
}

void takeOverLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(&captureLog);
    });
}

/// While it lives, errors the libraries log on this thread are kept in text.
class LogCapture {
  public:
    explicit LogCapture(std::string& text) : previous_(tCapturedError) { tCapturedError = &text; }
    ~LogCapture() { tCapturedError = previous_; }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

  private:
    std::string* previous_;
};

std::string errorString(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0) {
        return "error " + std::to_string(code);
    }
    return text;
}

InputFile& fileOf(void* opaque) {
    return *static_cast<InputFile*>(opaque);
}

int readPacket(void* opaque, std::uint8_t* buffer, int size) {
    InputFile& file = fileOf(opaque);
    const std::uint64_t failedBefore = file.failedReads();
    const std::int64_t got = file.read(buffer, size);
    if (got > 0) {
        return static_cast<int>(got);
    }
    return file.failedReads() != failedBefore ? AVERROR(EIO) : AVERROR_EOF;
}

std::int64_t seekPacket(void* opaque, std::int64_t offset, int whence) {
    InputFile& file = fileOf(opaque);
    if ((whence & AVSEEK_SIZE) != 0) {
        return file.size();
    }
    whence &= ~AVSEEK_FORCE;
    std::int64_t target = offset;
    if (whence == SEEK_CUR) {
        target += file.position();
    } else if (whence == SEEK_END) {
        target += file.size();
    } else if (whence != SEEK_SET) {
        return AVERROR(EINVAL);
    }
    return file.seek(target) ? target : AVERROR(EIO);
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The container in a word or two: FFmpeg's demuxer names list the formats they read.
std::string containerName(const AVInputFormat& format) {
    const std::string name = format.name != nullptr ? format.name : "";
    const auto has = [&name](const char* part) { return name.find(part) != std::string::npos; };
    if (has("mp4") || has("mov")) {
        return "M4A/MP4";
    }
    if (has("asf")) {
        return "ASF/WMA";
    }
    if (has("matroska")) {
        return "Matroska/WebM";
    }
    if (name == "aac") {
        return "ADTS";
    }
    if (name == "mp3" || name == "flac") {
        return {};  // the codec says it all
    }
    if (name == "ogg") {
        return "Ogg";
    }
    if (name == "avi") {
        return "AVI";
    }
    if (name == "caf") {
        return "CAF";
    }
    return format.long_name != nullptr ? format.long_name : upper(name);
}

// The codec as people name it: "AAC", "Vorbis", "WMA 2"; other codecs by FFmpeg's short name.
std::string codecName(AVCodecID id) {
    switch (id) {
        case AV_CODEC_ID_VORBIS:
            return "Vorbis";
        case AV_CODEC_ID_OPUS:
            return "Opus";
        case AV_CODEC_ID_WMAV1:
            return "WMA 1";
        case AV_CODEC_ID_WMAV2:
            return "WMA 2";
        case AV_CODEC_ID_WMAPRO:
            return "WMA Pro";
        case AV_CODEC_ID_WMALOSSLESS:
            return "WMA Lossless";
        default:
            return upper(avcodec_get_name(id));
    }
}

// One sample of a decoded frame to 16 bits, by the sample format's rule.
using SampleReader = std::int16_t (*)(const std::uint8_t* at);

template <typename T>
T load(const std::uint8_t* at) {
    T value;
    std::copy(at, at + sizeof(T), reinterpret_cast<std::uint8_t*>(&value));
    return value;
}

std::int16_t fromU8(const std::uint8_t* at) {
    return sampleFromUnsigned8(*at);
}
std::int16_t fromS16(const std::uint8_t* at) {
    return load<std::int16_t>(at);
}
std::int16_t fromS32(const std::uint8_t* at) {
    return sampleFromLeftAligned32(load<std::int32_t>(at));
}
std::int16_t fromS64(const std::uint8_t* at) {
    return sampleFromLeftAligned64(load<std::int64_t>(at));
}
std::int16_t fromFloat(const std::uint8_t* at) {
    return sampleFromReal(load<float>(at));
}
std::int16_t fromDouble(const std::uint8_t* at) {
    return sampleFromReal(load<double>(at));
}

SampleReader readerFor(AVSampleFormat format) {
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
            return &fromU8;
        case AV_SAMPLE_FMT_S16:
            return &fromS16;
        case AV_SAMPLE_FMT_S32:
            return &fromS32;
        case AV_SAMPLE_FMT_S64:
            return &fromS64;
        case AV_SAMPLE_FMT_FLT:
            return &fromFloat;
        case AV_SAMPLE_FMT_DBL:
            return &fromDouble;
        default:
            return nullptr;
    }
}

}  // namespace

struct FfmpegSource::Decoder {
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    bool haveFrame = false;  ///< frame holds decoded samples
    int frameAt = 0;         ///< next sample of frame to deliver
    bool flushed = false;    ///< the end of the input was passed to the decoder

    ~Decoder() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);  // leaves the custom I/O context alone
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

FfmpegSource::FfmpegSource() = default;

FfmpegSource::~FfmpegSource() {
    close();
}

void FfmpegSource::close() {
    decoder_.reset();  // before the file it reads
    file_.reset();
}

AudioStatus FfmpegSource::failOpen(std::string text) {
    close();
    errorText_ = std::move(text);
    return kAudioBadFile;
}

AudioStatus FfmpegSource::open(std::shared_ptr<InputFile> file) {
    close();
    takeOverLibraryLog();
    recognised_ = false;
    sampleRate_ = 0;
    channels_ = 0;
    trackNumber_ = 0;
    trackCount_ = 0;
    framesDelivered_ = 0;
    endReached_ = false;
    failed_ = false;
    errorText_.clear();
    if (file == nullptr || !file->isOpen()) {
        errorText_ = "no input file was named";
        return kAudioUnsupported;
    }
    if (!file->seek(0)) {
        return failOpen("cannot read the file");
    }
    file_ = std::move(file);
    failedReadsBefore_ = file_->failedReads();
    decoder_ = std::make_unique<Decoder>();
    Decoder& d = *decoder_;

    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (buffer != nullptr) {
        d.io = avio_alloc_context(buffer, kIoBufferBytes, 0, file_.get(), &readPacket, nullptr,
                                  &seekPacket);
    }
    d.format = avformat_alloc_context();
    d.packet = av_packet_alloc();
    d.frame = av_frame_alloc();
    if (d.io == nullptr || d.format == nullptr || d.packet == nullptr || d.frame == nullptr) {
        if (d.io == nullptr) {
            av_free(buffer);
        }
        return failOpen("not enough memory to read the file");
    }
    d.format->pb = d.io;
    d.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // What the libraries log while opening says more than their error codes ("moov atom not
    // found"); it is used only when the open fails.
    std::string logged;
    const LogCapture capture(logged);
    const auto openFailure = [this, &logged](int error) {
        if (!logged.empty()) {
            return failOpen("FFmpeg cannot read it: " + logged);
        }
        return failOpen(error == AVERROR_EOF
                            ? std::string("the file ends before its audio can be read (it is cut "
                                          "short or damaged)")
                            : "FFmpeg cannot read it: " + errorString(error));
    };
    // No name: the format is found from the content alone.
    const AVInputFormat* format = nullptr;
    if (const int error = av_probe_input_buffer2(d.io, &format, "", nullptr, 0, 0);
        error < 0 || format == nullptr) {
        return openFailure(error < 0 ? error : AVERROR_INVALIDDATA);
    }
    recognised_ = true;
    if (const int error = avformat_open_input(&d.format, "", format, nullptr); error < 0) {
        return openFailure(error);
    }
    if (const int error = avformat_find_stream_info(d.format, nullptr); error < 0) {
        return openFailure(error);
    }

    // The audio track marked default, else the one FFmpeg finds best.
    int chosen = -1;
    for (unsigned i = 0; i < d.format->nb_streams; ++i) {
        const AVStream& stream = *d.format->streams[i];
        if (stream.codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
            continue;
        }
        ++trackCount_;
        if (chosen < 0 && (stream.disposition & AV_DISPOSITION_DEFAULT) != 0) {
            chosen = static_cast<int>(i);
        }
    }
    if (trackCount_ == 0) {
        return failOpen("the file has no audio track");
    }
    if (chosen < 0) {
        chosen = av_find_best_stream(d.format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    }
    if (chosen < 0) {
        return failOpen("FFmpeg finds no audio track it can decode: " + errorString(chosen));
    }
    for (unsigned i = 0; i < d.format->nb_streams; ++i) {
        const AVStream& stream = *d.format->streams[i];
        if (stream.codecpar->codec_type == AVMEDIA_TYPE_AUDIO && static_cast<int>(i) <= chosen) {
            ++trackNumber_;
        }
        if (static_cast<int>(i) != chosen) {
            d.format->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    d.stream = chosen;
    const AVStream& stream = *d.format->streams[chosen];
    const AVCodecParameters& parameters = *stream.codecpar;
    container_ = containerName(*d.format->iformat);
    codec_ = codecName(parameters.codec_id);

    const int channels = channelsOf(parameters);
    if (channels != 1 && channels != 2) {
        return failOpen(std::to_string(channels) +
                        " channels (only mono and stereo are supported)");
    }
    if (parameters.sample_rate <= 0) {
        return failOpen("the audio track states no sample rate");
    }
    const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
    if (codec == nullptr) {
        return failOpen("FFmpeg has no decoder for " + codec_);
    }
    d.codec = avcodec_alloc_context3(codec);
    if (d.codec == nullptr) {
        return failOpen("not enough memory to read the file");
    }
    if (const int error = avcodec_parameters_to_context(d.codec, &parameters); error < 0) {
        return failOpen("FFmpeg cannot decode " + codec_ + ": " + errorString(error));
    }
    d.codec->pkt_timebase = stream.time_base;
    if (const int error = avcodec_open2(d.codec, codec, nullptr); error < 0) {
        return failOpen("FFmpeg cannot decode " + codec_ + ": " + errorString(error));
    }
    // FFmpeg's probing passes over a failed read as over the end of the file.
    if (file_->failedReads() != failedReadsBefore_) {
        return failOpen(std::string(InputFile::kReadFailedText));
    }
    channels_ = static_cast<std::uint16_t>(channels);
    sampleRate_ = static_cast<std::uint32_t>(parameters.sample_rate);
    return kAudioOk;
}

std::string FfmpegSource::formatDescription() const {
    std::string text = container_.empty()    ? codec_
                       : container_ == "Ogg" ? "Ogg " + codec_
                                             : container_ + ", " + codec_;
    if (trackCount_ > 1) {
        text += " (audio track " + std::to_string(trackNumber_) + " of " +
                std::to_string(trackCount_) + ")";
    }
    return text;
}

std::string FfmpegSource::notice() const {
    if (trackCount_ <= 1) {
        return {};
    }
    return "the file has " + std::to_string(trackCount_) + " audio tracks; track " +
           std::to_string(trackNumber_) + ", the default one, is converted";
}

std::string FfmpegSource::secondsText(std::int64_t frames) const {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f s",
                  static_cast<double>(frames) / static_cast<double>(sampleRate_));
    return text;
}

bool FfmpegSource::nextFrame() {
    Decoder& d = *decoder_;
    std::string logged;
    const LogCapture capture(logged);
    const auto fail = [this, &d](const std::string& what, const std::string& reason) {
        failed_ = true;
        d.haveFrame = false;
        errorText_ = what + " after " + secondsText(framesDelivered_) + " (FFmpeg: " + reason + ")";
        return false;
    };
    d.haveFrame = false;
    for (;;) {
        if (file_->failedReads() != failedReadsBefore_) {
            return fail("the file cannot be read to its end", "an input/output error");
        }
        if (!logged.empty()) {
            return fail("the audio data is damaged", logged);
        }
        const int received = avcodec_receive_frame(d.codec, d.frame);
        if (received == 0) {
            if (d.frame->nb_samples <= 0) {
                continue;
            }
            if (d.frame->sample_rate != static_cast<int>(sampleRate_) ||
                channelsOf(*d.frame) != channels_) {
                failed_ = true;
                errorText_ = "the audio track changes its sample rate or channels part-way";
                return false;
            }
            if (readerFor(static_cast<AVSampleFormat>(d.frame->format)) == nullptr) {
                failed_ = true;
                errorText_ = "the decoder gives samples in a format we do not read";
                return false;
            }
            d.haveFrame = true;
            d.frameAt = 0;
            return true;
        }
        if (received == AVERROR_EOF || (received == AVERROR(EAGAIN) && d.flushed)) {
            return endOfStream();
        }
        if (received != AVERROR(EAGAIN)) {
            return fail("the audio data is damaged", errorString(received));
        }
        const int read = av_read_frame(d.format, d.packet);
        if (read == AVERROR_EOF) {
            d.flushed = true;
            if (const int sent = avcodec_send_packet(d.codec, nullptr); sent < 0) {
                return fail("the audio data is damaged", errorString(sent));
            }
            continue;
        }
        if (read < 0) {
            return fail("the file cannot be read to its end", errorString(read));
        }
        if (d.packet->stream_index != d.stream) {
            av_packet_unref(d.packet);
            continue;
        }
        const int sent = avcodec_send_packet(d.codec, d.packet);
        av_packet_unref(d.packet);
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            return fail("the audio data is damaged", errorString(sent));
        }
    }
}

bool FfmpegSource::endOfStream() {
    // A length the container states (a frame index, a sample table, the last page's position),
    // not one estimated from the bit rate, must be reached.
    const AVFormatContext& format = *decoder_->format;
    const AVStream& stream = *format.streams[decoder_->stream];
    if (stream.duration > 0 && stream.duration != AV_NOPTS_VALUE &&
        format.duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
        const std::int64_t stated = av_rescale_q(stream.duration, stream.time_base,
                                                 AVRational{1, static_cast<int>(sampleRate_)});
        const std::int64_t allowance =
            std::max(kShortfallFrames, stated * kShortfallPerMille / 1000);
        if (framesDelivered_ + allowance < stated) {
            failed_ = true;
            errorText_ = "the audio ends after " + secondsText(framesDelivered_) + " of the " +
                         secondsText(stated) +
                         " the file states (the file is cut short or damaged)";
            return false;
        }
    }
    endReached_ = true;
    return false;
}

AudioStatus FfmpegSource::readSamples(std::int64_t count, SampleFrame* entries) {
    if (decoder_ == nullptr) {
        errorText_ = "no file is open";
        return kAudioUnsupported;
    }
    if (count < 1 || entries == nullptr) {
        errorText_ = "nothing to read into";
        return kAudioUnsupported;
    }
    if (failed_) {
        return kAudioBadFile;  // errorText_ still says why
    }
    errorText_.clear();
    Decoder& d = *decoder_;
    std::int64_t delivered = 0;
    while (delivered < count) {
        if (!d.haveFrame || d.frameAt == d.frame->nb_samples) {
            if (endReached_ || !nextFrame()) {
                break;
            }
        }
        const AVFrame& frame = *d.frame;
        const auto format = static_cast<AVSampleFormat>(frame.format);
        const SampleReader read = readerFor(format);
        const int bytes = av_get_bytes_per_sample(format);
        const bool planar = av_sample_fmt_is_planar(format) != 0;
        const std::int64_t n =
            std::min<std::int64_t>(count - delivered, frame.nb_samples - d.frameAt);
        for (std::int64_t i = 0; i < n; ++i) {
            const std::int64_t sample = d.frameAt + i;
            SampleFrame& out = entries[delivered + i];
            if (planar) {
                out.left = read(frame.extended_data[0] + sample * bytes);
                if (channels_ == 2) {
                    out.right = read(frame.extended_data[1] + sample * bytes);
                }
            } else {
                const std::uint8_t* at = frame.extended_data[0] + sample * channels_ * bytes;
                out.left = read(at);
                if (channels_ == 2) {
                    out.right = read(at + bytes);
                }
            }
        }
        d.frameAt += static_cast<int>(n);
        framesDelivered_ += n;
        delivered += n;
    }
    if (delivered == count) {
        return kAudioOk;
    }
    if (!failed_) {
        errorText_ = std::string(kEndOfSamplesText);
    }
    return kAudioBadFile;
}

}  // namespace zelvio
