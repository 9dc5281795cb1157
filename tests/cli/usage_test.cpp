// The command line as a new user meets it: the usage for a bare zelvio, one "zelvio:" line per
// mistake naming the word and why, "did you mean" for near misses, warnings for text the
// handheld cannot keep, and a progress line only on a terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/terminal.h"
#include "support/command_runner.h"
#include "support/wave_builder.h"

namespace {

namespace fs = std::filesystem;
using zelvio::test_support::CommandRun;
using zelvio::test_support::TempDirectory;
using zelvio::test_support::zelvio;

zelvio::test_support::Bytes toneWave(std::uint32_t rate, std::size_t samples) {
    std::vector<std::int16_t> pcm(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        pcm[i] = static_cast<std::int16_t>((i * 37) % 2000) - 1000;
    }
    return zelvio::test_support::canonicalWave({.sampleRate = rate},
                                               zelvio::test_support::pcm16Bytes(pcm));
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST(CommandLine, BareZelvioPrintsTheUsageAndExitsWithTwo) {
    TempDirectory dir;
    const CommandRun run = zelvio(dir, "");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    for (const char* part : {"Usage: zelvio", "convert", "info", "decode", "--version"}) {
        EXPECT_NE(run.err.find(part), std::string::npos) << part << "\n" << run.err;
    }
}

TEST(CommandLine, EveryMistakeIsOneLineThatNamesItAndSuggestsTheNearestWord) {
    TempDirectory dir;
    dir.write("in.wav", toneWave(8000, 400));
    const struct {
        const char* arguments;
        const char* message;
        const char* usage;  // the usage line that follows
    } cases[] = {
        {"conver in.wav", "zelvio: 'conver' is not a zelvio command; did you mean 'convert'?",
         "Usage: zelvio [OPTIONS] SUBCOMMAND"},
        {"infos in.wav", "zelvio: 'infos' is not a zelvio command; did you mean 'info'?",
         "Usage: zelvio [OPTIONS] SUBCOMMAND"},
        {"transmogrify in.wav", "zelvio: 'transmogrify' is not a zelvio command",
         "Usage: zelvio [OPTIONS] SUBCOMMAND"},
        {"--verison", "zelvio: unknown option '--verison'; did you mean '--version'?",
         "Usage: zelvio [OPTIONS] SUBCOMMAND"},
        {"--bits 4 convert in.wav",
         "zelvio: --bits is an option of a command; put it after the command: zelvio convert "
         "--bits ...",
         "Usage: zelvio convert [OPTIONS] input..."},
        {"convert in.wav --bit 4",
         "zelvio: convert: unknown option '--bit'; did you mean '--bits'?",
         "Usage: zelvio convert [OPTIONS] input..."},
        {"convert in.wav --vda", "zelvio: convert: unknown option '--vda'; did you mean '--vad'?",
         "Usage: zelvio convert [OPTIONS] input..."},
        {"convert in.wav --nope", "zelvio: convert: unknown option '--nope'",
         "Usage: zelvio convert [OPTIONS] input..."},
        {"convert in.wav -fx", "zelvio: convert: unknown option '-fx'",
         "Usage: zelvio convert [OPTIONS] input..."},
        {"convert in.wav --bits adpcm4",
         "zelvio: convert: --bits: 'adpcm4' is not allowed: use 8 (PCM), 4, 3 or 2 (ADPCM)",
         "Usage: zelvio convert [OPTIONS] input..."},
        {"convert in.wav --bits 5",
         "zelvio: convert: --bits: '5' is not allowed: use 8 (PCM), 4, 3 or 2 (ADPCM)",
         "Usage: zelvio convert [OPTIONS] input..."},
        {"convert in.wav --threads two",
         "zelvio: convert: --threads: 'two' is not a whole number of 0 or more",
         "Usage: zelvio convert [OPTIONS] input..."},
        {"convert in.wav --title", "zelvio: convert: --title needs a value",
         "Usage: zelvio convert [OPTIONS] input..."},
        {"convert", "zelvio: convert: input is required",
         "Usage: zelvio convert [OPTIONS] input..."},
        {"info in.pdb other.pdb", "zelvio: info: unexpected argument 'other.pdb'",
         "Usage: zelvio info [OPTIONS] input"},
        {"info in.wav --jsno", "zelvio: info: unknown option '--jsno'; did you mean '--json'?",
         "Usage: zelvio info [OPTIONS] input"},
        {"decode in.pdb --comfort",
         "zelvio: decode: unknown option '--comfort'; did you mean '--comfort-noise'?",
         "Usage: zelvio decode [OPTIONS] input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandRun run = zelvio(dir, c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(firstLine(run.err), c.message);
        const std::string rest = run.err.substr(run.err.find('\n') + 1);
        EXPECT_EQ(firstLine(rest), c.usage);
    }
    EXPECT_FALSE(fs::exists(dir.path() / "in.pdb"));
}

TEST(CommandLine, WarnsOfTitleAndDescriptionTheHandheldCannotKeep) {
    TempDirectory dir;
    dir.write("in.wav", toneWave(8000, 400));
    const CommandRun run =
        zelvio(dir,
               "convert in.wav --title 'A lecture on the history of the Roman roads' "
               "--description \"$(printf '\\305\\201\\303\\263d\\305\\272')\"");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err,
              "zelvio: warning: the title is cut to 31 characters: \"A lecture on the history "
              "of the\"\n"
              "zelvio: warning: the handheld cannot show \"\xC5\x81\", \"\xC5\xBA\" in the "
              "description: stored as \"?\" (\"?\xC3\xB3"
              "d?\")\n");
    // -q: nothing but errors
    EXPECT_EQ(
        zelvio(dir, "convert in.wav -f -q --title 'A lecture on the history of the Roman'").err,
        "");
}

TEST(CommandLine, ProgressIsDrawnOnATerminalOnlyWhenItsLineChanges) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    ASSERT_NE(out, nullptr);
    int draws = 0;
    {
        zelvio::cli::ProgressBar bar("Converting", out, true, 80);
        for (int i = 0; i <= 100000; ++i) {  // far more reports than percentages
            bar.update(i / 100000.0, i < 50000 ? "Converting" : "Saving");
        }
        draws = bar.draws();
    }
    std::fclose(out);
    const std::string drawn(text, size);
    std::free(text);
    // The first line at once, one per percentage (and a stage change), a few for the seconds.
    EXPECT_GE(draws, 101);
    EXPECT_LE(draws, 110);
    EXPECT_EQ(static_cast<int>(std::count(drawn.begin(), drawn.end(), '\r')), draws + 1);
    EXPECT_TRUE(drawn.starts_with("\rConverting   0% [")) << drawn.substr(0, 40);
    EXPECT_TRUE(drawn.ends_with("\r\033[K"));  // cleared at the end
    EXPECT_NE(drawn.find("\rSaving     100% [####"), std::string::npos);

    // Not on a terminal: nothing.
    char* quietText = nullptr;
    std::size_t quietSize = 0;
    std::FILE* quiet = open_memstream(&quietText, &quietSize);
    {
        zelvio::cli::ProgressBar bar("Converting", quiet, false, 80);
        bar.update(0.5);
        EXPECT_EQ(bar.draws(), 0);
    }
    std::fclose(quiet);
    EXPECT_EQ(quietSize, 0u);
    std::free(quietText);
}

TEST(CommandLine, ConvertShowsProgressOnATerminalAndNothingElsewhere) {
    if (std::system("command -v script >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "script (util-linux) is not installed";
    }
    TempDirectory dir;
    dir.write("in.wav", toneWave(44100, 44100 * 30));
    // script runs the command on a pseudo-terminal and copies what it wrote.
    const CommandRun onTerminal = zelvio::test_support::shellLine(
        dir, "script -qec \"$ZELVIO convert in.wav --threads 1\" /dev/null");
    EXPECT_EQ(onTerminal.status, 0) << onTerminal.err;
    EXPECT_NE(onTerminal.out.find("\rReading"), std::string::npos) << onTerminal.out;
    EXPECT_NE(onTerminal.out.find(" elapsed"), std::string::npos);
    EXPECT_NE(onTerminal.out.find("in.pdb: saved"), std::string::npos);
    const auto redraws = std::count(onTerminal.out.begin(), onTerminal.out.end(), '\r');
    EXPECT_LE(redraws, 130) << onTerminal.out;  // 101 percentages, stages, seconds, line ends

    const CommandRun piped = zelvio(dir, "convert in.wav -f --threads 1");
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");  // standard error is a file: no progress
}

}  // namespace
