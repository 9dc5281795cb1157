#include "wave/sndfile_source.h"

#include <sndfile.h>

#include <algorithm>
#include <limits>

#include "wave/sample_conversion.h"

namespace zelvio {
namespace {

// Sample frames per libsndfile call.
constexpr std::int64_t kBlockFrames = 4096;

// libsndfile's view of an InputFile.
InputFile& fileOf(void* user) {
    return *static_cast<InputFile*>(user);
}

sf_count_t fileLength(void* user) {
    return fileOf(user).size();
}

sf_count_t seekFile(sf_count_t offset, int whence, void* user) {
    InputFile& file = fileOf(user);
    sf_count_t target = offset;
    if (whence == SEEK_CUR) {
        target += file.position();
    } else if (whence == SEEK_END) {
        target += file.size();
    }
    return file.seek(target) ? target : -1;
}

sf_count_t readFile(void* destination, sf_count_t count, void* user) {
    return fileOf(user).read(destination, count);
}

sf_count_t writeNothing(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t tellFile(void* user) {
    return fileOf(user).position();
}

SF_VIRTUAL_IO virtualIo() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = &fileLength;
    io.seek = &seekFile;
    io.read = &readFile;
    io.write = &writeNothing;
    io.tell = &tellFile;
    return io;
}

// Encodings decoded to floating point: read as double and rounded by the float rule. Every
// other encoding libsndfile decodes to integers.
bool isRealEncoding(int encoding) {
    switch (encoding) {
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
        case SF_FORMAT_VORBIS:
        case SF_FORMAT_OPUS:
        case SF_FORMAT_MPEG_LAYER_I:
        case SF_FORMAT_MPEG_LAYER_II:
        case SF_FORMAT_MPEG_LAYER_III:
            return true;
        default:
            return false;
    }
}

// Containers whose length libsndfile works out rather than reads from a header.
bool isDerivedLength(int container) {
    return container == SF_FORMAT_OGG || container == SF_FORMAT_MPEG;
}

std::string containerName(int container) {
    switch (container) {
        case SF_FORMAT_WAV:
            return "WAVE";
        case SF_FORMAT_AIFF:
            return "AIFF";
        case SF_FORMAT_AU:
            return "AU";
        case SF_FORMAT_W64:
            return "W64";
        case SF_FORMAT_RF64:
            return "RF64";
        case SF_FORMAT_CAF:
            return "CAF";
        case SF_FORMAT_FLAC:
            return "FLAC";
        case SF_FORMAT_OGG:
            return "Ogg";
        case SF_FORMAT_MPEG:
            return "MPEG audio";
        case SF_FORMAT_VOC:
            return "VOC";
        case SF_FORMAT_SVX:
            return "8SVX";
        case SF_FORMAT_IRCAM:
            return "IRCAM";
        case SF_FORMAT_NIST:
            return "NIST SPHERE";
        default: {
            SF_FORMAT_INFO info{};
            info.format = container;
            if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 &&
                info.name != nullptr) {
                return info.name;
            }
            return "libsndfile format " + std::to_string(container >> 16);
        }
    }
}

std::string encodingName(int encoding) {
    switch (encoding) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
            return "8-bit PCM";
        case SF_FORMAT_PCM_16:
            return "16-bit PCM";
        case SF_FORMAT_PCM_24:
            return "24-bit PCM";
        case SF_FORMAT_PCM_32:
            return "32-bit PCM";
        case SF_FORMAT_FLOAT:
            return "32-bit float";
        case SF_FORMAT_DOUBLE:
            return "64-bit float";
        case SF_FORMAT_ULAW:
            return "u-law";
        case SF_FORMAT_ALAW:
            return "A-law";
        case SF_FORMAT_IMA_ADPCM:
            return "IMA ADPCM";
        case SF_FORMAT_MS_ADPCM:
            return "Microsoft ADPCM";
        case SF_FORMAT_GSM610:
            return "GSM 6.10";
        case SF_FORMAT_VORBIS:
            return "Vorbis";
        case SF_FORMAT_OPUS:
            return "Opus";
        case SF_FORMAT_ALAC_16:
            return "ALAC 16-bit";
        case SF_FORMAT_ALAC_20:
            return "ALAC 20-bit";
        case SF_FORMAT_ALAC_24:
            return "ALAC 24-bit";
        case SF_FORMAT_ALAC_32:
            return "ALAC 32-bit";
        case SF_FORMAT_MPEG_LAYER_I:
            return "MP1";
        case SF_FORMAT_MPEG_LAYER_II:
            return "MP2";
        case SF_FORMAT_MPEG_LAYER_III:
            return "MP3";
        default: {
            SF_FORMAT_INFO info{};
            info.format = encoding;
            if (sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE, &info, sizeof info) == 0 &&
                info.name != nullptr) {
                return info.name;
            }
            return "encoding " + std::to_string(encoding);
        }
    }
}

}  // namespace

struct SndfileSource::Handle {
    SF_VIRTUAL_IO io = virtualIo();
    SNDFILE* file = nullptr;
    ~Handle() {
        if (file != nullptr) {
            sf_close(file);
        }
    }
};

SndfileSource::SndfileSource() = default;

SndfileSource::~SndfileSource() {
    close();
}

void SndfileSource::close() {
    handle_.reset();  // before the file it reads
    file_.reset();
}

AudioStatus SndfileSource::failOpen(std::string text) {
    close();
    errorText_ = std::move(text);
    return kAudioBadFile;
}

bool SndfileSource::isDerivedLengthStream() const {
    return isDerivedLength(format_ & SF_FORMAT_TYPEMASK);
}

AudioStatus SndfileSource::open(std::shared_ptr<InputFile> file) {
    close();
    recognised_ = false;
    format_ = 0;
    sampleRate_ = 0;
    channels_ = 0;
    statedFrames_ = 0;
    frameCount_ = 0;
    framesDelivered_ = 0;
    endReached_ = false;
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
    handle_ = std::make_unique<Handle>();
    SF_INFO info{};
    handle_->file = sf_open_virtual(&handle_->io, SFM_READ, &info, file_.get());
    if (handle_->file == nullptr) {
        const int code = sf_error(nullptr);
        recognised_ = code != SF_ERR_UNRECOGNISED_FORMAT;
        return failOpen(std::string("libsndfile cannot read it: ") + sf_error_number(code));
    }
    recognised_ = true;
    format_ = info.format;
    // libsndfile takes a failed read of the header for a short header and may go on with what
    // it made of the rest.
    if (file_->failedReads() != failedReadsBefore_) {
        return failOpen(std::string(InputFile::kReadFailedText));
    }
    if (info.channels != 1 && info.channels != 2) {
        return failOpen(std::to_string(info.channels) +
                        " channels (only mono and stereo are supported)");
    }
    if (info.samplerate <= 0) {
        return failOpen("the file states no sample rate");
    }
    channels_ = static_cast<std::uint16_t>(info.channels);
    sampleRate_ = static_cast<std::uint32_t>(info.samplerate);
    realSamples_ = isRealEncoding(format_ & SF_FORMAT_SUBMASK);
    // Full scale 1.0 for every encoding read as double; float data comes as it is stored.
    sf_command(handle_->file, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
    statedFrames_ = info.frames;
    const bool unknown = info.frames < 0 || info.frames == SF_COUNT_MAX ||
                         isDerivedLength(format_ & SF_FORMAT_TYPEMASK);
    frameCount_ = unknown ? kUnknownFrameCount : info.frames;
    if (realSamples_) {
        reals_.resize(static_cast<std::size_t>(kBlockFrames) * channels_);
    } else {
        integers_.resize(static_cast<std::size_t>(kBlockFrames) * channels_);
    }
    return kAudioOk;
}

std::string SndfileSource::formatDescription() const {
    const int container = format_ & SF_FORMAT_TYPEMASK;
    const int encoding = format_ & SF_FORMAT_SUBMASK;
    if (container == SF_FORMAT_OGG) {
        return "Ogg " + encodingName(encoding);
    }
    if (container == SF_FORMAT_MPEG) {
        return encodingName(encoding);
    }
    return containerName(container) + ", " + encodingName(encoding);
}

AudioStatus SndfileSource::readSamples(std::int64_t count, SampleFrame* entries) {
    if (handle_ == nullptr) {
        errorText_ = "no file is open";
        return kAudioUnsupported;
    }
    if (count < 1 || entries == nullptr) {
        errorText_ = "nothing to read into";
        return kAudioUnsupported;
    }
    errorText_.clear();
    const bool stereo = channels_ == 2;
    std::int64_t delivered = 0;
    while (delivered < count) {
        std::int64_t wanted = std::min(kBlockFrames, count - delivered);
        if (frameCount_ != kUnknownFrameCount) {
            wanted = std::min(wanted, frameCount_ - framesDelivered_);
        }
        sf_count_t got = 0;
        if (wanted > 0 && !endReached_) {
            got = realSamples_ ? sf_readf_double(handle_->file, reals_.data(), wanted)
                               : sf_readf_int(handle_->file, integers_.data(), wanted);
        }
        got = std::max<sf_count_t>(got, 0);
        SampleFrame* out = entries + delivered;
        for (sf_count_t i = 0; i < got; ++i) {
            const std::size_t at = static_cast<std::size_t>(i) * channels_;
            if (realSamples_) {
                out[i].left = sampleFromReal(reals_[at]);
                if (stereo) {
                    out[i].right = sampleFromReal(reals_[at + 1]);
                }
            } else {
                out[i].left = sampleFromLeftAligned32(integers_[at]);
                if (stereo) {
                    out[i].right = sampleFromLeftAligned32(integers_[at + 1]);
                }
            }
        }
        delivered += got;
        framesDelivered_ += got;
        if (got < wanted || wanted == 0) {
            break;
        }
    }
    // libsndfile takes a failed read for the end of the data.
    if (file_->failedReads() != failedReadsBefore_) {
        errorText_ = "the file cannot be read to its end (an input/output error)";
        return kAudioBadFile;
    }
    if (delivered == count) {
        return kAudioOk;
    }
    if (const int code = sf_error(handle_->file); code != SF_ERR_NO_ERROR) {
        errorText_ = std::string("the audio data cannot be decoded (libsndfile: ") +
                     sf_strerror(handle_->file) + ")";
        return kAudioBadFile;
    }
    if (frameCount_ != kUnknownFrameCount && framesDelivered_ < frameCount_) {
        errorText_ = "the audio data ends after " + std::to_string(framesDelivered_) + " of the " +
                     std::to_string(frameCount_) +
                     " sample frames its header states (the file is cut short or damaged)";
        return kAudioBadFile;
    }
    endReached_ = true;
    errorText_ = std::string(kEndOfSamplesText);
    return kAudioBadFile;
}

}  // namespace zelvio
