#include "wave/format_readers.h"

#include <string>
#include <string_view>

#ifdef ZELVIO_HAVE_SNDFILE
#include "wave/sndfile_source.h"
#endif
#ifdef ZELVIO_HAVE_FFMPEG
#include "wave/ffmpeg_source.h"
#endif

namespace zelvio {

// libsndfile reads Ogg and MPEG streams only in a build without FFmpeg: it stops reading them at
// a length it works out (from the first frame of an MP3 without a frame index, so that most of a
// variable-rate file is lost), passes over their damage without an error, and lets the MP3
// decoder beneath it print warnings.
OpenedAudio openWithFormatReaders(const std::shared_ptr<InputFile>& file, bool oggOrMpeg) {
    OpenedAudio refused = OpenedAudio::refused(
        kAudioBadFile, "not a RIFF WAVE file nor another audio format this build reads", false);
#ifdef ZELVIO_HAVE_FFMPEG
    constexpr bool haveFfmpeg = true;
#else
    constexpr bool haveFfmpeg = false;
#endif
    const bool ffmpegFirst = haveFfmpeg && oggOrMpeg;
    // A read that failed stops the search: the next reader would only see another part of the
    // file, or the same bytes by luck.
    const std::uint64_t failedReadsBefore = file->failedReads();
#ifdef ZELVIO_HAVE_SNDFILE
    if (!ffmpegFirst) {
        auto sndfile = std::make_unique<SndfileSource>();
        if (sndfile->open(file) == kAudioOk) {
            if (!sndfile->isDerivedLengthStream() || !haveFfmpeg) {
                return OpenedAudio::accepted(std::move(sndfile));
            }
        } else if (file->failedReads() != failedReadsBefore) {
            return OpenedAudio::refused(kAudioBadFile, InputFile::kReadFailedText, true);
        } else if (sndfile->recognised()) {
            refused = OpenedAudio::refused(kAudioBadFile, sndfile->errorText(), true);
        }
    }
#endif
#ifdef ZELVIO_HAVE_FFMPEG
    auto ffmpeg = std::make_unique<FfmpegSource>();
    if (ffmpeg->open(file) == kAudioOk) {
        return OpenedAudio::accepted(std::move(ffmpeg));
    }
    if (file->failedReads() != failedReadsBefore) {
        return OpenedAudio::refused(kAudioBadFile, InputFile::kReadFailedText, true);
    }
    if ((ffmpeg->recognised() || ffmpegFirst) && !refused.formatRecognised) {
        refused = OpenedAudio::refused(kAudioBadFile, ffmpeg->errorText(), true);
    }
#endif
    (void)file;
    (void)ffmpegFirst;
    (void)failedReadsBefore;
    return refused;
}

}  // namespace zelvio
