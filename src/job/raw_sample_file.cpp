#include "job/raw_sample_file.h"

#include <algorithm>
#include <array>

#include "pdb/byte_order.h"

namespace zelvio {
namespace {

/// Samples decoded or encoded per stdio call.
constexpr std::size_t kFileChunkSamples = 4096;

}  // namespace

std::int64_t RawFileSource::read(std::int16_t* destination, std::size_t count) {
    std::array<std::uint8_t, kFileChunkSamples * 2> bytes{};
    std::size_t done = 0;
    while (done < count) {
        const std::size_t want = std::min(count - done, kFileChunkSamples);
        const std::size_t gotBytes = std::fread(bytes.data(), 1, want * 2, file_);
        const std::size_t gotSamples = gotBytes / 2;
        for (std::size_t i = 0; i < gotSamples; ++i) {
            destination[done + i] = static_cast<std::int16_t>(loadLittle16(&bytes[2 * i]));
        }
        done += gotSamples;
        if (gotBytes < want * 2) {
            if (std::ferror(file_) != 0) {
                return -1;
            }
            break;  // end of file
        }
    }
    return static_cast<std::int64_t>(done);
}

bool RawFileSink::write(const std::int16_t* samples, std::size_t count) {
    std::array<std::uint8_t, kFileChunkSamples * 2> bytes{};
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(count - done, kFileChunkSamples);
        for (std::size_t i = 0; i < n; ++i) {
            storeLittle16(&bytes[2 * i], static_cast<std::uint16_t>(samples[done + i]));
        }
        if (std::fwrite(bytes.data(), 1, n * 2, file_) != n * 2) {
            return false;
        }
        done += n;
    }
    return true;
}

}  // namespace zelvio
