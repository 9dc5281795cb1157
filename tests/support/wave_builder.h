// Building WAVE files for tests, byte by byte, including the odd layouts other tools write.
//
//     WaveBuilder wave;
//     wave.format({.channels = 2, .sampleRate = 44100, .bitsPerSample = 16})
//         .chunk("LIST", listBody)
//         .data(pcm16Bytes(samples));
//     TempDirectory dir;                                  // support/files.h
//     const auto path = dir.write("input.wav", wave.bytes());
//
// Everything is header-only so that any test program can include it without linking more.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/files.h"

namespace zelvio::test_support {

inline void appendLe16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void appendLe32(Bytes& out, std::uint32_t value) {
    appendLe16(out, static_cast<std::uint16_t>(value));
    appendLe16(out, static_cast<std::uint16_t>(value >> 16));
}

inline void appendLe64(Bytes& out, std::uint64_t value) {
    appendLe32(out, static_cast<std::uint32_t>(value));
    appendLe32(out, static_cast<std::uint32_t>(value >> 32));
}

/// The four characters of id (spaces added when shorter).
inline void appendId(Bytes& out, std::string_view id) {
    for (std::size_t i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(i < id.size() ? id[i] : ' '));
    }
}

/// The common 16 bytes of a "fmt " chunk. byteRate and blockAlignment are derived from the other
/// fields unless given.
struct WaveFormat {
    std::uint16_t tag = 1;  ///< 1 PCM, 3 float, 0xFFFE extensible, 7 u-law, ...
    std::uint16_t channels = 1;
    std::uint32_t sampleRate = 8000;
    std::uint16_t bitsPerSample = 16;
    std::int64_t byteRate = -1;        ///< -1: sampleRate * channels * bitsPerSample / 8
    std::int32_t blockAlignment = -1;  ///< -1: channels * bitsPerSample / 8
};

inline Bytes formatBody(const WaveFormat& format) {
    const std::uint32_t bitsPerFrame = std::uint32_t{format.channels} * format.bitsPerSample;
    Bytes body;
    appendLe16(body, format.tag);
    appendLe16(body, format.channels);
    appendLe32(body, format.sampleRate);
    appendLe32(body, format.byteRate >= 0 ? static_cast<std::uint32_t>(format.byteRate)
                                          : (format.sampleRate * bitsPerFrame) >> 3);
    appendLe16(body, format.blockAlignment >= 0 ? static_cast<std::uint16_t>(format.blockAlignment)
                                                : static_cast<std::uint16_t>(bitsPerFrame / 8));
    appendLe16(body, format.bitsPerSample);
    return body;
}

/// A 40-byte extensible "fmt " body (tag 0xFFFE) whose sub-format GUID carries subFormatTag;
/// with standardGuid false the GUID's tail is changed so that it names no standard encoding.
inline Bytes extensibleFormatBody(WaveFormat format, std::uint16_t subFormatTag,
                                  bool standardGuid = true) {
    format.tag = 0xFFFE;
    Bytes body = formatBody(format);
    appendLe16(body, 22);                    // bytes that follow
    appendLe16(body, format.bitsPerSample);  // valid bits
    appendLe32(body, format.channels == 1 ? 0x4 : 0x3);
    appendLe16(body, subFormatTag);
    for (std::uint8_t b :
         {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) {
        body.push_back(b);
    }
    if (!standardGuid) {
        body.back() ^= 0xFF;
    }
    return body;
}

/// Signed 16-bit samples as little-endian bytes.
inline Bytes pcm16Bytes(std::span<const std::int16_t> samples) {
    Bytes out;
    out.reserve(samples.size() * 2);
    for (std::int16_t s : samples) {
        appendLe16(out, static_cast<std::uint16_t>(s));
    }
    return out;
}

/// A RIFF WAVE image assembled from chunks in the order they are added.
class WaveBuilder {
  public:
    /// Replaces the first four bytes of the file (normally "RIFF").
    WaveBuilder& riffId(std::string_view id) {
        riffId_ = std::string(id);
        return *this;
    }
    /// Replaces the form type at offset 8 (normally "WAVE").
    WaveBuilder& formType(std::string_view id) {
        formType_ = std::string(id);
        return *this;
    }
    /// A "fmt " chunk with the 16 common bytes.
    WaveBuilder& format(const WaveFormat& format) { return chunk("fmt ", formatBody(format)); }
    /// A chunk whose size field is body's length, followed by a pad byte when that is odd.
    WaveBuilder& chunk(std::string_view id, const Bytes& body) {
        rawChunk(id, static_cast<std::uint32_t>(body.size()), body);
        if (body.size() % 2 != 0) {
            chunks_.push_back(0);
        }
        return *this;
    }
    /// A chunk header stating declaredSize followed by body as it is, with no pad byte.
    WaveBuilder& rawChunk(std::string_view id, std::uint32_t declaredSize, const Bytes& body) {
        appendId(chunks_, id);
        appendLe32(chunks_, declaredSize);
        chunks_.insert(chunks_.end(), body.begin(), body.end());
        return *this;
    }
    /// The "data" chunk, padded when odd.
    WaveBuilder& data(const Bytes& samples) { return chunk("data", samples); }
    /// Bytes appended as they are, e.g. a cut-off chunk header.
    WaveBuilder& raw(const Bytes& bytes) {
        chunks_.insert(chunks_.end(), bytes.begin(), bytes.end());
        return *this;
    }

    /// The whole file.
    [[nodiscard]] Bytes bytes() const {
        Bytes out;
        appendId(out, riffId_);
        appendLe32(out, static_cast<std::uint32_t>(4 + chunks_.size()));
        appendId(out, formType_);
        out.insert(out.end(), chunks_.begin(), chunks_.end());
        return out;
    }

  private:
    std::string riffId_ = "RIFF";
    std::string formType_ = "WAVE";
    Bytes chunks_;
};

/// The canonical 44-byte header followed by the sample bytes.
inline Bytes canonicalWave(const WaveFormat& format, const Bytes& sampleBytes) {
    return WaveBuilder().format(format).data(sampleBytes).bytes();
}

}  // namespace zelvio::test_support
