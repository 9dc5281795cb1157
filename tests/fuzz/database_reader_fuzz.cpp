// Feeds arbitrary bytes to the database reader; whatever it accepts is also decoded to the end.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "pdb/database_reader.h"
#include "readback/database_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zelvio::DatabaseReader reader;
    if (reader.parse(std::span(data, size)) != zelvio::kReadOk) {
        // A refusal always says why.
        if (reader.errorText().empty()) {
            __builtin_trap();
        }
        return 0;
    }
    (void)reader.name();
    (void)reader.description();
    // The last byte picks silence as zeros or as noise, so both ways are exercised.
    const bool comfortNoise = size > 0 && (data[size - 1] & 1) != 0;
    zelvio::DatabaseDecoder decoder(reader, {.comfortNoise = comfortNoise});
    std::array<std::int16_t, zelvio::kFrameSamples> frame{};
    while (decoder.nextFrame(frame.data())) {
    }
    if (decoder.framesDecoded() != reader.totalChunks()) {
        __builtin_trap();
    }
    return 0;
}
