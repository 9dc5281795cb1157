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
constexpr std::size_t kDs64Bytes = 36;  ///< the "ds64" chunk with its 8-byte header

void storeLittle64(std::uint8_t* at, std::uint64_t value) {
    storeLittle32(at, static_cast<std::uint32_t>(value));
    storeLittle32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

/// The header of a mono 16-bit PCM file with dataBytes of samples: the canonical 44 bytes, or
/// for RF64 80 bytes with the 64-bit sizes in a "ds64" chunk.
std::vector<std::uint8_t> headerFor(std::uint32_t sampleRate, std::uint64_t dataBytes,
                                    WaveLayout layout) {
    const bool rf64 = layout == WaveLayout::Rf64;
    std::vector<std::uint8_t> header(kHeaderBytes + (rf64 ? kDs64Bytes : 0));
    std::uint8_t* at = header.data();
    const auto id = [&at](const char* text) {
        for (int i = 0; i < 4; ++i) {
            *at++ = static_cast<std::uint8_t>(text[i]);
        }
    };
    const std::uint64_t riffBytes = header.size() - 8 + dataBytes;
    id(rf64 ? "RF64" : "RIFF");
    storeLittle32(at, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(riffBytes));
    at += 4;
    id("WAVE");
    if (rf64) {
        id("ds64");
        storeLittle32(at, kDs64Bytes - 8);
        storeLittle64(at + 4, riffBytes);
        storeLittle64(at + 12, dataBytes);
        storeLittle64(at + 20, dataBytes / 2);  // sample frames
        storeLittle32(at + 28, 0);              // no table of other chunk sizes
        at += kDs64Bytes - 4;
    }
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
    storeLittle32(at, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(dataBytes));
    return header;
}

}  // namespace

WaveStatus WaveWriter::fail(WaveStatus status, std::string text) {
    errorText_ = std::move(text);
    return status;
}

WaveStatus WaveWriter::open(const std::filesystem::path& path, std::uint32_t sampleRate,
                            WaveLayout layout) {
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
    file->setReplaceExisting(replaceExisting_);
    if (!file->open()) {
        return fail(kWaveBadFile, file->errorText());
    }
    file_ = std::move(file);
    return start(sampleRate, layout);
}

WaveStatus WaveWriter::open(std::FILE* stream, std::uint32_t sampleRate, WaveLayout layout) {
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
    return start(sampleRate, layout);
}

std::vector<std::uint8_t> WaveWriter::header() const {
    return headerFor(sampleRate_, 2 * samplesWritten_, layout_);
}

WaveStatus WaveWriter::start(std::uint32_t sampleRate, WaveLayout layout) {
    sampleRate_ = sampleRate;
    layout_ = layout;
    samplesWritten_ = 0;
    failed_ = false;
    targetExisted_ = false;
    const auto header = this->header();
    if (!put(header.data(), header.size())) {
        failed_ = true;
        return fail(kWaveBadFile, file_ != nullptr && !file_->errorText().empty()
                                      ? file_->errorText()
                                      : "cannot write " + targetName());
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
    if (layout_ == WaveLayout::Plain && (samplesWritten_ + count) * 2 > kMaxDataBytes) {
        failed_ = true;
        return fail(kWaveBadFile, "too many samples for one WAVE file");
    }
    std::vector<std::uint8_t> bytes(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        storeLittle16(bytes.data() + 2 * i, static_cast<std::uint16_t>(samples[i]));
    }
    if (!put(bytes.data(), bytes.size())) {
        failed_ = true;
        return fail(kWaveBadFile, file_ != nullptr && !file_->errorText().empty()
                                      ? file_->errorText()
                                      : "cannot write " + targetName());
    }
    samplesWritten_ += count;
    return kWaveOk;
}

WaveStatus WaveWriter::close() {
    const auto header = this->header();
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
        targetExisted_ = file->targetExisted();
        return fail(kWaveBadFile, file->errorText().empty()
                                      ? "cannot write " + quotedPath(file->target())
                                      : file->errorText());
    }
    errorText_.clear();
    return kWaveOk;
}

}  // namespace zelvio
