#include "pdb/stream_format.h"

namespace zelvio {

CodecCode codecForBits(int bitsPerSample) {
    switch (bitsPerSample) {
        case 8:
            return CodecCode::Pcm8;
        case 4:
            return CodecCode::Adpcm4;
        case 3:
            return CodecCode::Adpcm3;
        default:
            return CodecCode::Adpcm2;
    }
}

std::uint16_t codecBits(std::uint16_t codec) {
    switch (static_cast<CodecCode>(codec)) {
        case CodecCode::Pcm8:
            return 8;
        case CodecCode::Adpcm4:
            return 4;
        case CodecCode::Adpcm3:
            return 3;
        case CodecCode::Adpcm2:
            return 2;
    }
    return 0;
}

std::string_view codecName(std::uint16_t codec) {
    switch (static_cast<CodecCode>(codec)) {
        case CodecCode::Pcm8:
            return "8-bit PCM";
        case CodecCode::Adpcm4:
            return "4-bit ADPCM";
        case CodecCode::Adpcm3:
            return "3-bit ADPCM";
        case CodecCode::Adpcm2:
            return "2-bit ADPCM";
    }
    return "unknown codec";
}

std::uint16_t audioChunkLength(std::uint16_t codec) {
    const std::uint16_t bits = codecBits(codec);
    return bits == 0 ? 0 : static_cast<std::uint16_t>(1 + codedFrameBytes(bits));
}

}  // namespace zelvio
