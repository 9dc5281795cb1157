// Feeds arbitrary bytes to a whole conversion: detection and every reader the build has, the
// mixdown, the resampler, voice activity detection, the coders and the database image, built in
// memory. The input's length picks the mode, so that the seed files of the readers serve as they
// are. A run that says it saved a database must have built a whole one.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "job/conversion_job.h"
#include "pdb/byte_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The input is read like standard input spooled to a file: an open stream that can seek.
    std::FILE* stream = ::fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (stream == nullptr) {
        __builtin_trap();
    }
    constexpr int kBits[] = {8, 4, 3, 2};
    zelvio::ConversionSettings settings;
    settings.inputPath = "fuzz input";
    settings.title = "Fuzz";
    settings.bitsPerSample = kBits[size % 4];
    settings.voiceActivityDetection = (size / 4) % 2 == 1;
    settings.threads = 1;
    zelvio::ConversionJob job(settings);
    job.readInputFrom(stream);
    zelvio::MemoryByteSink image;
    job.writeDatabaseTo(image);
    const zelvio::ConversionOutcome outcome = job.run();
    std::fclose(stream);
    if (!outcome.failed()) {
        // A database holds at least its header, record list and information record, and no
        // more Frames than the input gave.
        if (image.bytes().size() < 78 + 136 || outcome.framesCoded > outcome.framesTotal ||
            outcome.recordCount < 1) {
            __builtin_trap();
        }
    } else if (!image.bytes().empty()) {
        __builtin_trap();  // a failed run writes nothing
    }
    return 0;
}
