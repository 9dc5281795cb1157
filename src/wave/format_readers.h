#pragma once
// The readers of formats other than RIFF WAVE (the libsndfile and FFmpeg sources) behind one
// call. openAudioSource() hands them every input that is not WAVE. A build may put them, and the
// hundred-odd shared libraries they pull in, into a module of their own (zelvio-formats.so,
// option ZELVIO_FORMAT_MODULE) that is loaded the first time an input needs it, so that a WAVE
// conversion starts without loading any of them.

#include <memory>

#include "wave/audio_source.h"
#include "wave/input_file.h"

namespace zelvio {

/// Opens file, whose content is not RIFF WAVE, with the readers this build has: Ogg and MPEG
/// audio (oggOrMpeg) with FFmpeg first, anything else with libsndfile and then FFmpeg. The
/// refusal of the reader that recognised the format wins; when none did, errorText says that the
/// file is no format this build reads.
[[nodiscard]] OpenedAudio openWithFormatReaders(const std::shared_ptr<InputFile>& file,
                                                bool oggOrMpeg);

/// The same through the reader module, loaded on the first call and kept for the life of the
/// process. When it cannot be loaded, the input is refused with kAudioUnsupported and a sentence
/// that says why (formatRecognised stays false).
[[nodiscard]] OpenedAudio openThroughFormatModule(const std::shared_ptr<InputFile>& file,
                                                  bool oggOrMpeg);

/// What the module exports: the name of its one function, and that function's type. It fills
/// opened and returns 1, or returns 0 without touching it when interface is not the one it was
/// built for (a module left over from another version).
inline constexpr int kFormatModuleInterface = 1;
inline constexpr const char* kFormatModuleEntry = "zelvio_open_with_format_readers";
using FormatModuleEntry = int (*)(int interface, const std::shared_ptr<InputFile>* file,
                                  bool oggOrMpeg, OpenedAudio* opened);

}  // namespace zelvio
