#pragma once
// The input formats a build reads: the one list behind the dialog's file filter, the command's
// help and the README. Readers go by content, not by name; the file name patterns here only help
// people find their files.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zelvio {

/// Which readers this build has.
struct InputReaders {
    bool libsndfile = false;  ///< the libsndfile source (ZELVIO_WITH_SNDFILE)
    bool ffmpeg = false;      ///< the FFmpeg source (ZELVIO_WITH_FFMPEG)
};

/// The readers compiled into this build.
[[nodiscard]] InputReaders inputReaders();

/// One kind of input file.
struct InputFormat {
    std::string_view name;      ///< what people call it, e.g. "FLAC"
    std::string_view patterns;  ///< its usual file names, e.g. "*.flac"; space-separated
    bool ownReader;             ///< our own reader takes it (RIFF WAVE)
    bool libsndfile;            ///< the libsndfile source takes it
    bool ffmpeg;                ///< the FFmpeg source takes it
};

/// Every kind of input any build can read, WAVE first.
[[nodiscard]] std::span<const InputFormat> allInputFormats();

/// True when a build with readers reads format.
[[nodiscard]] bool readsFormat(const InputFormat& format, InputReaders readers);

/// The names of the formats this build reads, e.g. "WAVE, FLAC, Ogg Vorbis, ...".
[[nodiscard]] std::string readableFormatNames();

/// The file name patterns of the formats this build reads, space-separated, each once:
/// "*.wav *.flac ...".
[[nodiscard]] std::string readableFilePatterns();

}  // namespace zelvio
