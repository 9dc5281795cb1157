#include "wave/wave_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "pdb/byte_order.h"
#include "wave/sample_conversion.h"

namespace zelvio {

namespace fs = std::filesystem;

namespace {

// Float samples are reinterpreted from their stored bits.
static_assert(std::numeric_limits<float>::is_iec559 && sizeof(float) == 4);
static_assert(std::numeric_limits<double>::is_iec559 && sizeof(double) == 8);

constexpr std::size_t kRiffHeaderBytes = 12;
constexpr std::size_t kChunkHeaderBytes = 8;
constexpr std::uint32_t kMinFormatBytes = 16;
// cbSize, valid bits, channel mask and the 16-byte sub-format GUID follow the 16 common bytes.
constexpr std::uint32_t kExtensibleFormatBytes = 40;
// Block reads of whole sample frames: every supported block alignment (1 to 16) divides it.
constexpr std::size_t kBufferBytes = 64 * 1024;

// The sub-format GUID of an extensible header is the format tag in its first two bytes followed
// by these fourteen, for every encoding that also has a plain format tag.
constexpr std::array<std::uint8_t, 14> kSubFormatGuidTail = {
    0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

constexpr std::string_view kEndsInHeader = "file ends inside the header";

// One stored sample to signed 16 bits. Integer widths above 16 keep their two most significant
// bytes, which is the arithmetic shift right by 8 (24-bit) or 16 (32-bit) of the signed value.
std::int16_t fromPcm8(const std::uint8_t* p) {
    return sampleFromUnsigned8(p[0]);
}
std::int16_t fromPcm16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(loadLittle16(p));
}
std::int16_t fromPcm24(const std::uint8_t* p) {
    return static_cast<std::int16_t>(loadLittle16(p + 1));
}
std::int16_t fromPcm32(const std::uint8_t* p) {
    return static_cast<std::int16_t>(loadLittle16(p + 2));
}
// The compiler's bit cast, which std::bit_cast is made of: the C++ library of the WebAssembly
// toolchain (emscripten 3.1) has no std::bit_cast yet.
std::int16_t fromFloat32(const std::uint8_t* p) {
    return sampleFromReal(__builtin_bit_cast(float, loadLittle32(p)));
}
std::int16_t fromFloat64(const std::uint8_t* p) {
    return sampleFromReal(__builtin_bit_cast(double, loadLittle64(p)));
}

template <std::int16_t (*Decode)(const std::uint8_t*), std::size_t SampleBytes>
void decodeMono(const std::uint8_t* bytes, std::int64_t frameCount, SampleFrame* entries) {
    for (std::int64_t i = 0; i < frameCount; ++i) {
        entries[i].left = Decode(bytes);
        bytes += SampleBytes;
    }
}

template <std::int16_t (*Decode)(const std::uint8_t*), std::size_t SampleBytes>
void decodeStereo(const std::uint8_t* bytes, std::int64_t frameCount, SampleFrame* entries) {
    for (std::int64_t i = 0; i < frameCount; ++i) {
        entries[i].left = Decode(bytes);
        entries[i].right = Decode(bytes + SampleBytes);
        bytes += 2 * SampleBytes;
    }
}

// 16-bit stereo: on a little-endian host the stored frames are laid out as SampleFrames already.
void decodeStereo16(const std::uint8_t* bytes, std::int64_t frameCount, SampleFrame* entries) {
    static_assert(sizeof(SampleFrame) == 4);  // two 16-bit slots, nothing else
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(entries, bytes, static_cast<std::size_t>(frameCount) * sizeof(SampleFrame));
    } else {
        decodeStereo<fromPcm16, 2>(bytes, frameCount, entries);
    }
}

using FrameDecoder = void (*)(const std::uint8_t*, std::int64_t, SampleFrame*);

template <std::int16_t (*Decode)(const std::uint8_t*), std::size_t SampleBytes>
FrameDecoder decoderFor(std::uint16_t channels) {
    return channels == 1 ? &decodeMono<Decode, SampleBytes> : &decodeStereo<Decode, SampleBytes>;
}

// The decoder for a sample format and width, or null when that width is not delivered.
FrameDecoder chooseDecoder(std::uint16_t sampleFormat, std::uint16_t bits, std::uint16_t channels) {
    if (sampleFormat == kWaveFormatPcm) {
        switch (bits) {
            case 8:
                return decoderFor<fromPcm8, 1>(channels);
            case 16:
                return channels == 1 ? &decodeMono<fromPcm16, 2> : &decodeStereo16;
            case 24:
                return decoderFor<fromPcm24, 3>(channels);
            case 32:
                return decoderFor<fromPcm32, 4>(channels);
            default:
                return nullptr;
        }
    }
    switch (bits) {
        case 32:
            return decoderFor<fromFloat32, 4>(channels);
        case 64:
            return decoderFor<fromFloat64, 8>(channels);
        default:
            return nullptr;
    }
}

std::string encodingName(std::uint16_t tag) {
    switch (tag) {
        case 0x0002:
            return "Microsoft ADPCM";
        case 0x0006:
            return "A-law";
        case 0x0007:
            return "u-law";
        case 0x0011:
            return "IMA ADPCM";
        case 0x0031:
            return "GSM 6.10";
        case 0x0050:
            return "MPEG";
        case 0x0055:
            return "MP3";
        default:
            return {};
    }
}

std::string unsupportedEncoding(std::string_view prefix, std::uint16_t tag) {
    std::string text = "unsupported encoding (" + std::string(prefix) + std::to_string(tag);
    if (const std::string name = encodingName(tag); !name.empty()) {
        text += ", " + name;
    }
    return text + ")";
}

}  // namespace

std::uint32_t fourCC(std::string_view text) {
    std::uint32_t code = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const auto c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0x20u;
        code |= static_cast<std::uint32_t>(c) << (8 * i);
    }
    return code;
}

WaveFile::WaveFile() = default;

std::string WaveFile::formatDescription() const {
    return "WAVE, " + std::to_string(bitsPerSample_) +
           (sampleFormat_ == kWaveFormatIeeeFloat ? "-bit float" : "-bit PCM") +
           (formatTag_ == kWaveFormatExtensible ? " (extensible)" : "");
}

WaveFile::~WaveFile() {
    close();
}

WaveStatus WaveFile::close() {
    file_.reset();
    open_ = false;
    return kWaveOk;
}

void WaveFile::resetHeader() {
    formatTag_ = kWaveFormatPcm;
    sampleFormat_ = kWaveFormatPcm;
    channels_ = 2;
    sampleRate_ = 44100;
    byteRate_ = 176400;
    blockAlignment_ = 4;
    bitsPerSample_ = 16;
    sampleFrameCount_ = 0;
    framesDelivered_ = 0;
    endReached_ = false;
    readFailed_ = false;
    fileLength_ = 0;
    position_ = 0;
    decodeFrames_ = nullptr;
    notice_.clear();
}

WaveStatus WaveFile::failOpen(WaveStatus status, std::string text) {
    close();
    sampleFrameCount_ = 0;
    framesDelivered_ = 0;
    errorText_ = std::move(text);
    return status;
}

WaveStatus WaveFile::open(const fs::path& path) {
    close();
    resetHeader();
    errorText_.clear();
    auto file = std::make_shared<InputFile>();
    if (const WaveStatus status = file->open(path); status != kWaveOk) {
        return failOpen(status, std::string(file->errorText()));
    }
    return open(std::move(file));
}

WaveStatus WaveFile::open(std::shared_ptr<InputFile> file) {
    close();
    resetHeader();
    errorText_.clear();
    if (file == nullptr || !file->isOpen()) {
        return failOpen(kWaveUnsupported, "no input file was named");
    }
    file_ = std::move(file);
    fileLength_ = file_->size();
    if (!file_->seek(0)) {
        return failOpen(kWaveBadFile, "cannot read the file");
    }
    return readHeader();
}

bool WaveFile::readExactly(std::uint8_t* destination, std::int64_t byteCount) {
    const std::int64_t got = file_->read(destination, byteCount);
    position_ += got;
    return got == byteCount;
}

bool WaveFile::skip(std::int64_t byteCount) {
    if (byteCount == 0) {
        return true;
    }
    position_ += byteCount;
    return file_->seek(position_);
}

WaveStatus WaveFile::readHeader() {
    if (fileLength_ == 0) {
        return failOpen(kWaveBadFile, "the file is empty");
    }
    std::array<std::uint8_t, kRiffHeaderBytes> riff{};
    const auto riffBytes = std::min<std::int64_t>(fileLength_, kRiffHeaderBytes);
    if (!readExactly(riff.data(), riffBytes)) {
        return failOpen(kWaveBadFile, "cannot read the file");
    }
    // Only the form type decides; the first four bytes are not looked at, so "RF64" and other
    // variants of the outer id are read like "RIFF".
    constexpr std::string_view kFormType = "WAVE";
    for (std::int64_t i = 8; i < riffBytes; ++i) {
        if (riff[i] != static_cast<std::uint8_t>(kFormType[i - 8])) {
            return failOpen(kWaveBadFile, "not a RIFF WAVE file");
        }
    }
    if (riffBytes < static_cast<std::int64_t>(kRiffHeaderBytes)) {
        // Too short to say; call a file that does not even start like one what it is.
        constexpr std::string_view kRiff = "RIFF";
        const bool looksLikeRiff = std::equal(
            riff.begin(), riff.begin() + std::min<std::int64_t>(riffBytes, 4), kRiff.begin());
        return failOpen(kWaveBadFile,
                        looksLikeRiff ? std::string(kEndsInHeader) : "not a RIFF WAVE file");
    }

    // RF64 states its sizes in a "ds64" chunk before the others; its "data" chunk then says
    // 0xFFFFFFFF.
    const bool rf64 = std::equal(riff.begin(), riff.begin() + 4, "RF64");
    std::optional<std::uint64_t> ds64DataBytes;
    bool formatSeen = false;
    for (;;) {
        if (bytesLeft() == 0) {
            return failOpen(kWaveBadFile, "no \"data\" chunk");
        }
        if (bytesLeft() < static_cast<std::int64_t>(kChunkHeaderBytes)) {
            return failOpen(kWaveBadFile, std::string(kEndsInHeader));
        }
        std::array<std::uint8_t, kChunkHeaderBytes> chunkHeader{};
        if (!readExactly(chunkHeader.data(), kChunkHeaderBytes)) {
            return failOpen(kWaveBadFile, "cannot read the file");
        }
        const std::uint32_t id = loadLittle32(chunkHeader.data());
        const std::uint32_t size = loadLittle32(chunkHeader.data() + 4);

        if (id == fourCC("data")) {
            if (!formatSeen) {
                return failOpen(kWaveBadFile, "the \"data\" chunk comes before the \"fmt \" chunk");
            }
            // 0 and 0xFFFFFFFF are what writers leave when they cannot seek back to fill in the
            // size; the samples then run to the end of the file. In RF64 0xFFFFFFFF points to the
            // size in "ds64".
            std::uint64_t stated = size;
            if (size == 0xFFFFFFFFu && ds64DataBytes) {
                stated = *ds64DataBytes;
            }
            const bool placeholder = stated == 0 || stated == 0xFFFFFFFFu;
            const auto left = static_cast<std::uint64_t>(bytesLeft());
            const std::int64_t sampleBytes =
                placeholder ? bytesLeft() : static_cast<std::int64_t>(std::min(stated, left));
            if (!placeholder && stated > left) {
                notice_ = "the file is cut short: its audio data holds " + std::to_string(left) +
                          " of the " + std::to_string(stated) +
                          " bytes its header states; what is there was converted";
            }
            sampleFrameCount_ = sampleBytes / blockAlignment_;
            framesDelivered_ = 0;
            buffer_.resize(kBufferBytes);
            open_ = true;
            return kWaveOk;
        }
        if (id == fourCC("ds64") && rf64 && !formatSeen && !ds64DataBytes && size >= 24 &&
            size <= bytesLeft()) {
            // RIFF size, data size, sample count (64 bits each), then a table not needed here.
            std::array<std::uint8_t, 16> sizes{};
            const std::int64_t padded = static_cast<std::int64_t>(size) + (size & 1u);
            if (!readExactly(sizes.data(), 16) ||
                !skip(std::min<std::int64_t>(padded - 16, bytesLeft()))) {
                return failOpen(kWaveBadFile, "cannot read the file");
            }
            ds64DataBytes = std::uint64_t{loadLittle32(&sizes[8])} |
                            (std::uint64_t{loadLittle32(&sizes[12])} << 32);
            continue;
        }
        if (id == fourCC("fmt") && !formatSeen) {
            if (const WaveStatus status = readFormatChunk(size); status != kWaveOk) {
                return status;
            }
            formatSeen = true;
            continue;
        }
        // Any other chunk, and any later "fmt " chunk, is passed over with its pad byte. A pad
        // byte missing at the very end of the file is forgiven; the walk ends there anyway.
        if (size > bytesLeft()) {
            return failOpen(kWaveBadFile, std::string(kEndsInHeader));
        }
        const std::int64_t padded = static_cast<std::int64_t>(size) + (size & 1u);
        if (!skip(std::min(padded, bytesLeft()))) {
            return failOpen(kWaveBadFile, "cannot read the file");
        }
    }
}

WaveStatus WaveFile::readFormatChunk(std::uint32_t size) {
    if (size < kMinFormatBytes) {
        return failOpen(kWaveBadFile,
                        "the \"fmt \" chunk is too short (" + std::to_string(size) + " bytes)");
    }
    if (size > bytesLeft()) {
        return failOpen(kWaveBadFile, std::string(kEndsInHeader));
    }
    std::array<std::uint8_t, kExtensibleFormatBytes> body{};
    const auto taken = std::min<std::int64_t>(size, kExtensibleFormatBytes);
    const std::int64_t padded = static_cast<std::int64_t>(size) + (size & 1u);
    if (!readExactly(body.data(), taken) || !skip(std::min(padded - taken, bytesLeft()))) {
        return failOpen(kWaveBadFile, "cannot read the file");
    }

    formatTag_ = loadLittle16(&body[0]);
    channels_ = loadLittle16(&body[2]);
    sampleRate_ = loadLittle32(&body[4]);
    byteRate_ = loadLittle32(&body[8]);
    blockAlignment_ = loadLittle16(&body[12]);
    bitsPerSample_ = loadLittle16(&body[14]);
    sampleFormat_ = formatTag_;

    if (formatTag_ == kWaveFormatExtensible) {
        if (size < kExtensibleFormatBytes) {
            return failOpen(kWaveBadFile, "the extensible \"fmt \" chunk is too short (" +
                                              std::to_string(size) + " bytes)");
        }
        sampleFormat_ = loadLittle16(&body[24]);
        if (!std::equal(kSubFormatGuidTail.begin(), kSubFormatGuidTail.end(), &body[26])) {
            return failOpen(kWaveUnsupported,
                            "unsupported encoding (extensible format with an unknown sub-format)");
        }
        if (sampleFormat_ != kWaveFormatPcm && sampleFormat_ != kWaveFormatIeeeFloat) {
            return failOpen(kWaveUnsupported,
                            unsupportedEncoding("extensible format, sub-format ", sampleFormat_));
        }
    } else if (sampleFormat_ != kWaveFormatPcm && sampleFormat_ != kWaveFormatIeeeFloat) {
        return failOpen(kWaveUnsupported, unsupportedEncoding("format tag ", sampleFormat_));
    }

    if (channels_ != 1 && channels_ != 2) {
        return failOpen(kWaveBadFile, std::to_string(channels_) +
                                          " channels (only mono and stereo are supported)");
    }
    decodeFrames_ = chooseDecoder(sampleFormat_, bitsPerSample_, channels_);
    if (decodeFrames_ == nullptr) {
        return failOpen(
            kWaveUnsupported,
            "unsupported sample width: " + std::to_string(bitsPerSample_) +
                (sampleFormat_ == kWaveFormatIeeeFloat ? " bits (floating point)" : " bits"));
    }

    // Both checks as the header states them: the product is formed modulo 2^32 before the shift.
    const std::uint32_t bitsPerFrame = static_cast<std::uint32_t>(channels_) * bitsPerSample_;
    const std::uint32_t expectedByteRate = (sampleRate_ * bitsPerFrame) >> 3;
    if (byteRate_ != expectedByteRate) {
        return failOpen(kWaveBadFile, "inconsistent header: byte rate " +
                                          std::to_string(byteRate_) + ", expected " +
                                          std::to_string(expectedByteRate));
    }
    const std::uint32_t expectedAlignment = bitsPerFrame / 8;
    if (blockAlignment_ != expectedAlignment) {
        return failOpen(kWaveBadFile, "inconsistent header: block alignment " +
                                          std::to_string(blockAlignment_) + ", expected " +
                                          std::to_string(expectedAlignment));
    }
    return kWaveOk;
}

WaveStatus WaveFile::readSamples(std::int64_t count, SampleFrame* entries) {
    if (!open_) {
        errorText_ = "no file is open";
        return kWaveUnsupported;
    }
    if (count < 1 || entries == nullptr) {
        errorText_ = "nothing to read into";
        return kWaveUnsupported;
    }
    errorText_.clear();

    const std::int64_t frameBytes = blockAlignment_;
    const std::int64_t framesPerBlock = static_cast<std::int64_t>(buffer_.size()) / frameBytes;
    const std::int64_t available = std::min(count, framesRemaining());
    std::int64_t delivered = 0;
    while (delivered < available) {
        const std::int64_t frames = std::min(framesPerBlock, available - delivered);
        const std::int64_t wanted = frames * frameBytes;
        const std::int64_t got = file_->seek(position_) ? file_->read(buffer_.data(), wanted) : 0;
        position_ += got;
        const std::int64_t whole = got / frameBytes;
        decodeFrames_(buffer_.data(), whole, entries + delivered);
        delivered += whole;
        framesDelivered_ += whole;
        if (got < wanted) {
            // The file shrank since it was opened, or the system failed to read it. What is left
            // cannot be trusted to be frame-aligned, so the sample data ends here.
            readFailed_ = true;
            errorText_ = "cannot read the file: it ends inside the sample data";
            return kWaveBadFile;
        }
    }
    if (delivered < count) {
        errorText_ = std::string(kEndOfSamplesText);
        endReached_ = true;
        return kWaveBadFile;
    }
    return kWaveOk;
}

}  // namespace zelvio
