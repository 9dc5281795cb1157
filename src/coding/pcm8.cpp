#include "coding/pcm8.h"

namespace zelvio {

void encodePcm8(const std::int16_t* samples, int count, std::uint8_t* codes) {
    for (int i = 0; i < count; ++i) {
        codes[i] = pcm8Code(samples[i]);
    }
}

void decodePcm8(const std::uint8_t* codes, int count, std::int16_t* samples) {
    for (int i = 0; i < count; ++i) {
        samples[i] = pcm8Sample(codes[i]);
    }
}

}  // namespace zelvio
