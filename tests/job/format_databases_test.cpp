// A FLAC, AIFF, W64 or CAF (ALAC) copy of a WAVE file, made by libsndfile from 16- and 24-bit,
// mono and stereo WAVE files, gives the database the WAVE file gives, byte for byte, at every
// mode with and without voice activity detection.
#include <gtest/gtest.h>

#include <string>

#include "job/conversion_job.h"
#include "support/sndfile_copies.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;
using test_support::copyWithLibsndfile;
using test_support::readFileBytes;
using test_support::SoundFormat;
using test_support::soundWave;
using test_support::TempDirectory;

ConversionOutcome convert(const fs::path& input, const fs::path& output, int bits, bool vad) {
    ConversionSettings settings;
    settings.inputPath = input;
    settings.databasePath = output;
    settings.title = "Memo";
    settings.description = "the same whatever the container";
    settings.bitsPerSample = bits;
    settings.voiceActivityDetection = vad;
    return ConversionJob(settings).run();
}

TEST(FormatDatabases, CopiesInOtherContainersGiveTheWaveFilesDatabaseAtEveryMode) {
    struct Copy {
        int format;
        const char* extension;
    };
    const SoundFormat sounds[] = {
        {.bits = 16, .channels = 1, .seconds = 3.0, .pauses = true},
        {.bits = 16, .channels = 2, .seconds = 3.0, .pauses = true},
        {.bits = 24, .channels = 1, .seconds = 3.0, .pauses = true},
        {.bits = 24, .channels = 2, .seconds = 3.0, .pauses = true},
    };
    TempDirectory dir;
    int made = 0;
    for (const SoundFormat& sound : sounds) {
        const bool wide = sound.bits == 24;
        const Copy copies[] = {
            {SF_FORMAT_FLAC | (wide ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_16), "flac"},
            {SF_FORMAT_AIFF | (wide ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_16), "aiff"},
            {SF_FORMAT_W64 | (wide ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_16), "w64"},
            {SF_FORMAT_CAF | (wide ? SF_FORMAT_ALAC_24 : SF_FORMAT_ALAC_16), "caf"},
        };
        const std::string number = std::to_string(made++);
        const fs::path original = dir.write("original" + number + ".wav", soundWave(sound));
        for (int bits : {8, 4, 3, 2}) {
            for (bool vad : {false, true}) {
                const fs::path reference = dir / "reference.pdb";
                const ConversionOutcome expected = convert(original, reference, bits, vad);
                ASSERT_EQ(expected.kind, OutcomeKind::Success) << expected.detail;
                ASSERT_GT(expected.framesCoded, 140);
                for (const Copy& copy : copies) {
                    SCOPED_TRACE(std::to_string(sound.bits) + "-bit " +
                                 (sound.channels == 1 ? "mono" : "stereo") + " as " +
                                 copy.extension + ", " + std::to_string(bits) + " bits" +
                                 (vad ? " with detection" : ""));
                    const fs::path input = dir / ("copy" + number + "." + copy.extension);
                    if (!fs::exists(input)) {
                        ASSERT_EQ(copyWithLibsndfile(original, input, copy.format), "");
                    }
                    const ConversionOutcome outcome = convert(input, dir / "copy.pdb", bits, vad);
                    ASSERT_EQ(outcome.kind, OutcomeKind::Success) << outcome.detail;
                    ASSERT_EQ(readFileBytes(dir / "copy.pdb"), readFileBytes(reference));
                }
            }
        }
    }
}

}  // namespace
}  // namespace zelvio
