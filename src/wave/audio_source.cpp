#include "wave/audio_source.h"

#include "wave/wave_file.h"

namespace zelvio {

const char* audioStatusText(AudioStatus status) {
    switch (status) {
        case kAudioOk:
            return "success";
        case kAudioBadFile:
            return "cannot read the file or its header";
        case kAudioUnsupported:
            return "unsupported format or bad argument";
        default:
            return "unknown status";
    }
}

OpenedAudio openAudioSource(const std::filesystem::path& path) {
    // One line per input format; a format that does not recognise the file would leave it to the
    // next one.
    auto wave = std::make_unique<WaveFile>();
    if (const AudioStatus status = wave->open(path); status != kAudioOk) {
        return {status, nullptr, std::string(wave->errorText())};
    }
    return {kAudioOk, std::move(wave), {}};
}

}  // namespace zelvio
