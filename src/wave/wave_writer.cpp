#include "wave/wave_writer.h"

#include <array>
#include <system_error>
#include <utility>
#include <vector>

#include "io/path_text.h"
#include "pdb/byte_order.h"

namespace zelvio {
namespace {

constexpr std::size_t kHeaderBytes = 44;

/// The canonical header of a mono 16-bit PCM file with dataBytes of samples.
std::array<std::uint8_t, kHeaderBytes> headerFor(std::uint32_t sampleRate,
                                                 std::uint32_t dataBytes) {
    std::array<std::uint8_t, kHeaderBytes> header{};
    std::uint8_t* at = header.data();
    const auto id = [&at](const char* text) {
        for (int i = 0; i < 4; ++i) {
            *at++ = static_cast<std::uint8_t>(text[i]);
        }
    };
    id("RIFF");
    storeLittle32(at, 36 + dataBytes);
    at += 4;
    id("WAVE");
    id("fmt ");
    storeLittle32(at, 16);
    storeLittle16(at + 4, kWaveFormatPcm);
    storeLittle16(at + 6, 1);                // channels
    storeLittle32(at + 8, sampleRate);       // sample frames per second
    storeLittle32(at + 12, sampleRate * 2);  // bytes per second
    storeLittle16(at + 16, 2);               // bytes per sample frame
    storeLittle16(at + 18, 16);              // bits per sample
    at += 20;
    id("data");
    storeLittle32(at, dataBytes);
    return header;
}

}  // namespace

WaveStatus WaveWriter::fail(WaveStatus status, std::string text) {
    errorText_ = std::move(text);
    return status;
}

WaveStatus WaveWriter::open(const std::filesystem::path& path, std::uint32_t sampleRate) {
    if (file_ != nullptr || stream_ != nullptr) {
        return fail(kWaveUnsupported, "a file is open already");
    }
    if (path.empty() || sampleRate == 0 || sampleRate > 0x7FFFFFFFu) {
        return fail(kWaveUnsupported, path.empty() ? "no file name" : "unusable sample rate");
    }
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        return fail(kWaveBadFile, quotedPath(path) + " is a folder");
    }
    auto file = std::make_unique<AtomicFile>(path);
    if (!file->open()) {
        return fail(kWaveBadFile, "cannot create " + quotedPath(path));
    }
    file_ = std::move(file);
    return start(sampleRate);
}

WaveStatus WaveWriter::open(std::FILE* stream, std::uint32_t sampleRate) {
    if (file_ != nullptr || stream_ != nullptr) {
        return fail(kWaveUnsupported, "a file is open already");
    }
    if (stream == nullptr || sampleRate == 0 || sampleRate > 0x7FFFFFFFu) {
        return fail(kWaveUnsupported, stream == nullptr ? "no stream" : "unusable sample rate");
    }
    stream_ = stream;
    if (std::fseek(stream_, 0, SEEK_SET) != 0) {
        failed_ = true;
        return fail(kWaveBadFile, "cannot write " + targetName());
    }
    return start(sampleRate);
}

WaveStatus WaveWriter::start(std::uint32_t sampleRate) {
    sampleRate_ = sampleRate;
    samplesWritten_ = 0;
    failed_ = false;
    const auto header = headerFor(sampleRate, 0);
    if (!put(header.data(), header.size())) {
        failed_ = true;
        return fail(kWaveBadFile, "cannot write " + targetName());
    }
    errorText_.clear();
    return kWaveOk;
}

bool WaveWriter::put(const std::uint8_t* bytes, std::size_t count) {
    if (file_ != nullptr) {
        return file_->write(bytes, count);
    }
    return std::fwrite(bytes, 1, count, stream_) == count;
}

std::string WaveWriter::targetName() const {
    return file_ != nullptr ? quotedPath(file_->target()) : std::string("the output stream");
}

WaveStatus WaveWriter::writeSamples(const std::int16_t* samples, std::size_t count) {
    const bool open = file_ != nullptr || stream_ != nullptr;
    if (!open || (samples == nullptr && count > 0)) {
        return fail(kWaveUnsupported, !open ? "no file is open" : "no samples");
    }
    if (failed_) {
        return fail(kWaveBadFile, "an earlier write failed");
    }
    if ((samplesWritten_ + count) * 2 > kMaxDataBytes) {
        failed_ = true;
        return fail(kWaveBadFile, "too many samples for one WAVE file");
    }
    std::vector<std::uint8_t> bytes(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        storeLittle16(bytes.data() + 2 * i, static_cast<std::uint16_t>(samples[i]));
    }
    if (!put(bytes.data(), bytes.size())) {
        failed_ = true;
        return fail(kWaveBadFile, "cannot write " + targetName());
    }
    samplesWritten_ += count;
    return kWaveOk;
}

WaveStatus WaveWriter::close() {
    const auto header = headerFor(sampleRate_, static_cast<std::uint32_t>(2 * samplesWritten_));
    if (stream_ != nullptr) {
        std::FILE* stream = std::exchange(stream_, nullptr);
        if (failed_ || std::fseek(stream, 0, SEEK_SET) != 0 ||
            std::fwrite(header.data(), 1, header.size(), stream) != header.size() ||
            std::fflush(stream) != 0) {
            return fail(kWaveBadFile, "cannot write the output stream");
        }
        errorText_.clear();
        return kWaveOk;
    }
    if (file_ == nullptr) {
        return fail(kWaveUnsupported, "no file is open");
    }
    const std::unique_ptr<AtomicFile> file = std::move(file_);
    // A failed file is discarded when it goes out of scope; the target stays as it was.
    if (failed_ || !file->writeAt(0, header.data(), header.size()) || !file->commit()) {
        return fail(kWaveBadFile, "cannot write " + quotedPath(file->target()));
    }
    errorText_.clear();
    return kWaveOk;
}

}  // namespace zelvio
