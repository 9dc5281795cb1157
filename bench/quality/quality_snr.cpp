// quality_snr ORIGINAL.wav DECODED.wav
//
// Prints "<snr dB> <segmental snr dB> <samples compared>" for a decoded database against the
// original taken to 10000 Hz mono the way the converter takes it: stereo mixed to the floor of the
// mean, then resampled by our engine with the designed filter. The decoded file is 16-bit mono at
// 10000 Hz and holds whole Frames, so it may stop up to 199 samples short of the reference; the
// comparison covers the decoded length.
//
// Segmental SNR is the mean over 200-sample Frames of each Frame's SNR, each held to -10..35 dB
// (the usual limits, so that silent Frames neither dominate nor vanish).
#include <cstdio>
#include <string>
#include <vector>

#include "pdb/stream_format.h"
#include "quality_measure.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quality_snr ORIGINAL.wav DECODED.wav\n");
        return 2;
    }
    std::vector<std::int16_t> reference;
    std::vector<std::int16_t> decoded;
    std::uint32_t decodedRate = 0;
    std::string error;
    if (!zelvio::referenceAtStreamRate(argv[1], reference, error) ||
        !zelvio::readMonoSamples(argv[2], decoded, decodedRate, error)) {
        std::fprintf(stderr, "quality_snr: %s\n", error.c_str());
        return 1;
    }
    if (decodedRate != zelvio::kStreamSampleRate) {
        std::fprintf(stderr, "quality_snr: %s is at %u Hz, not 10000 Hz\n", argv[2], decodedRate);
        return 1;
    }
    const zelvio::RoundTripQuality quality = zelvio::compareWithReference(reference, decoded);
    std::printf("%.2f %.2f %zu\n", quality.snrDb, quality.segmentalSnrDb, quality.samplesCompared);
    return 0;
}
