#include "wave/input_formats.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace zelvio {
namespace {

// name, patterns, own reader, libsndfile, FFmpeg. (Which reader takes a file is decided by
// openAudioSource(); MP3 and Ogg go to FFmpeg when the build has both.)
constexpr InputFormat kFormats[] = {
    {"WAVE", "*.wav *.wave", true, false, false},
    {"FLAC", "*.flac", false, true, true},
    {"Ogg Vorbis", "*.ogg *.oga", false, true, true},
    {"Opus", "*.opus", false, true, true},
    {"MP3", "*.mp3", false, true, true},
    {"AIFF/AIFC", "*.aif *.aiff *.aifc", false, true, true},
    {"W64", "*.w64", false, true, true},
    {"CAF", "*.caf", false, true, true},
    {"AU", "*.au *.snd", false, true, true},
    {"M4A/AAC", "*.m4a *.m4b *.aac", false, false, true},
    {"WMA", "*.wma", false, false, true},
    {"Matroska audio", "*.mka", false, false, true},
    {"the audio track of a video", "*.mp4 *.mov *.mkv *.webm *.avi", false, false, true},
};

}  // namespace

InputReaders inputReaders() {
    InputReaders readers;
#ifdef ZELVIO_HAVE_SNDFILE
    readers.libsndfile = true;
#endif
#ifdef ZELVIO_HAVE_FFMPEG
    readers.ffmpeg = true;
#endif
    return readers;
}

std::span<const InputFormat> allInputFormats() {
    return kFormats;
}

bool readsFormat(const InputFormat& format, InputReaders readers) {
    return format.ownReader || (format.libsndfile && readers.libsndfile) ||
           (format.ffmpeg && readers.ffmpeg);
}

std::string readableFormatNames() {
    std::string names;
    for (const InputFormat& format : kFormats) {
        if (readsFormat(format, inputReaders())) {
            names += (names.empty() ? "" : ", ") + std::string(format.name);
        }
    }
    return names;
}

std::string readableFilePatterns() {
    std::vector<std::string> seen;
    std::string patterns;
    for (const InputFormat& format : kFormats) {
        if (!readsFormat(format, inputReaders())) {
            continue;
        }
        std::istringstream words{std::string(format.patterns)};
        for (std::string pattern; words >> pattern;) {
            if (std::find(seen.begin(), seen.end(), pattern) == seen.end()) {
                seen.push_back(pattern);
                patterns += (patterns.empty() ? "" : " ") + pattern;
            }
        }
    }
    return patterns;
}

}  // namespace zelvio
