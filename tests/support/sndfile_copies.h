// The same sound in several containers, for tests that every reader delivers the same samples:
// WAVE files built byte by byte (8-, 16-, 24-, 32-bit PCM, 32- and 64-bit float, mono or stereo,
// with every edge of the sample rules in them), and copies of them in other containers made by
// libsndfile itself. A copy holds the WAVE file's content exactly: integer samples are read
// left-aligned in 32 bits and written back as they are, floating-point samples as double.
//
//     const Bytes wave = soundWave({.bits = 24, .channels = 2});
//     const auto original = dir.write("in.wav", wave);
//     ASSERT_EQ(copyWithLibsndfile(original, dir / "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24),
//               "");
//
// Header-only; a test program that includes it links libsndfile (PkgConfig::SNDFILE).
#pragma once

#include <sndfile.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "support/sound_signals.h"
#include "support/wave_builder.h"

namespace zelvio::test_support {

/// The stored form of a test sound.
struct SoundFormat {
    int bits = 16;  ///< 8, 16, 24 or 32 (integer) or, with floating, 32 or 64
    bool floating = false;
    int channels = 1;
    std::uint32_t rate = 22050;
    double seconds = 0.4;  ///< an even count of frames: libsndfile pads odd 8-bit AIFF data
    bool pauses = false;   ///< speech with pauses, for voice activity detection
};

/// Speech-like sound (the right channel a quieter, inverted copy of the left, so that a swap
/// shows) stored in format, with the edges of the sample rules at the start: full scale both
/// ways, -1 and the smallest steps of wide samples (which the arithmetic shift takes down, not to
/// zero), and for floating point the ties, values past full scale, infinities and NaN.
inline Bytes soundWave(const SoundFormat& format) {
    const Sound speech = speechLike(
        {.seed = 7, .seconds = format.seconds + 0.1, .pauses = format.pauses, .pitch = 150});
    const auto frames = static_cast<std::size_t>(format.seconds * format.rate);
    // Each value as a fraction of full scale; the low bits come from a fixed pattern.
    std::vector<double> values;
    const double edges[] = {1.0,   -1.0,        0.99999,     -0.99999,     1.0 / 65536.0,
                            -1e-9, 2.5 / 32768, 3.5 / 32768, -2.5 / 32768, -3.5 / 32768,
                            1.5,   -1.5,        0.0,         -0.0};
    std::uint32_t noise = 2463534242u;
    for (std::size_t i = 0; i < frames * static_cast<std::size_t>(format.channels); ++i) {
        const std::size_t frame = i / static_cast<std::size_t>(format.channels);
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        double x = speech[frame * 10000 / format.rate] / 32768.0;
        if (i % 2 == 1) {
            x = -0.5 * x;
        }
        x += static_cast<double>(noise & 0xFFFF) / 4294967296.0;  // below the top 16 bits
        values.push_back(i < std::size(edges) ? edges[i] : x);
    }
    Bytes data;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double x = values[i];
        if (format.floating && format.bits == 32) {
            float f = static_cast<float>(x);
            if (i == values.size() - 1) {
                f = std::numeric_limits<float>::quiet_NaN();
            } else if (i == values.size() - 2) {
                f = -std::numeric_limits<float>::infinity();
            }
            appendLe32(data, std::bit_cast<std::uint32_t>(f));
            continue;
        }
        if (format.floating) {
            appendLe64(data,
                       std::bit_cast<std::uint64_t>(
                           i == values.size() - 1 ? std::numeric_limits<double>::quiet_NaN() : x));
            continue;
        }
        // Integers: x of full scale, clamped, in the stored width.
        const double top = std::ldexp(1.0, format.bits - 1);
        const auto v = static_cast<std::int64_t>(std::clamp(std::floor(x * top), -top, top - 1));
        if (format.bits == 8) {
            data.push_back(static_cast<std::uint8_t>(v + 128));
        } else {
            for (int b = 0; b < format.bits / 8; ++b) {
                data.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * b)));
            }
        }
    }
    const WaveFormat header{.tag = static_cast<std::uint16_t>(format.floating ? 3 : 1),
                            .channels = static_cast<std::uint16_t>(format.channels),
                            .sampleRate = format.rate,
                            .bitsPerSample = static_cast<std::uint16_t>(format.bits)};
    return canonicalWave(header, data);
}

/// Writes a copy of the WAVE file at wave to copy in libsndfile's format (container | encoding),
/// sample for sample. Returns "" or what went wrong.
inline std::string copyWithLibsndfile(const std::filesystem::path& wave,
                                      const std::filesystem::path& copy, int format) {
    SF_INFO inInfo{};
    SNDFILE* in = sf_open(wave.c_str(), SFM_READ, &inInfo);
    if (in == nullptr) {
        return std::string("libsndfile cannot read the WAVE file: ") + sf_strerror(nullptr);
    }
    SF_INFO outInfo{};
    outInfo.samplerate = inInfo.samplerate;
    outInfo.channels = inInfo.channels;
    outInfo.format = format;
    SNDFILE* out = sf_open(copy.c_str(), SFM_WRITE, &outInfo);
    if (out == nullptr) {
        sf_close(in);
        return std::string("libsndfile cannot write the copy: ") + sf_strerror(nullptr);
    }
    const int encoding = inInfo.format & SF_FORMAT_SUBMASK;
    const bool floating = encoding == SF_FORMAT_FLOAT || encoding == SF_FORMAT_DOUBLE;
    std::string error;
    std::vector<int> integers(4096 * static_cast<std::size_t>(inInfo.channels));
    std::vector<double> reals(integers.size());
    for (;;) {
        const sf_count_t got = floating ? sf_readf_double(in, reals.data(), 4096)
                                        : sf_readf_int(in, integers.data(), 4096);
        if (got <= 0) {
            break;
        }
        const sf_count_t put = floating ? sf_writef_double(out, reals.data(), got)
                                        : sf_writef_int(out, integers.data(), got);
        if (put != got) {
            error = std::string("libsndfile cannot write the copy: ") + sf_strerror(out);
            break;
        }
    }
    sf_close(out);
    sf_close(in);
    return error;
}

}  // namespace zelvio::test_support
