// The manual pages and the shell completion stay in step with the programs: every option a
// program's --help shows is documented in its manual page and offered by the bash, zsh and fish
// completion, and the pages and completion name no option the program lacks. The options are
// read from the built programs, so an option added to the code without its documentation makes
// these tests name it. The pages format without a warning and the completion files parse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "support/command_runner.h"

namespace {

using Options = std::set<std::string>;

/// Where each program's options are documented and completed.
struct Documented {
    const char* name;        // for messages
    std::string help;        // the command line that prints the options
    const char* manPage;     // in ZELVIO_MAN_DIR
    const char* bashCase;    // the case of _zelvio_options that lists the options
    std::string fishPrefix;  // the start of the fish lines that complete them
    const char* zshStart;    // the zsh block that completes them: from this line ...
    const char* zshEnd;      // ... to the first line after it that holds this
};

std::vector<Documented> documentedPrograms() {
    const std::string zelvio = "'" ZELVIO_CLI "'";
    std::vector<Documented> programs = {
        {"zelvio", zelvio + " --help", "zelvio.1", "*)",
         "complete -c zelvio -n __fish_use_subcommand", "_arguments -C", "&& ret=0"},
        {"zelvio convert", zelvio + " convert --help", "zelvio-convert.1", "convert)",
         "complete -c zelvio -n '__fish_seen_subcommand_from convert'", "      convert)", ";;"},
        {"zelvio info", zelvio + " info --help", "zelvio-info.1", "info)",
         "complete -c zelvio -n '__fish_seen_subcommand_from info'", "      info)", ";;"},
        {"zelvio decode", zelvio + " decode --help", "zelvio-decode.1", "decode)",
         "complete -c zelvio -n '__fish_seen_subcommand_from decode'", "      decode)", ";;"},
    };
#ifdef ZELVIO_GUI
    programs.push_back({"zelvio-gui", "QT_QPA_PLATFORM=offscreen '" ZELVIO_GUI "' --help",
                        "zelvio-gui.1", "zelvio-gui)", "complete -c zelvio-gui ",
                        "if [[ $service == zelvio-gui ]]", "return"});
#endif
    return programs;
}

std::string commandOutput(const std::string& command) {
    std::string text;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) {
            text.append(buffer, got);
        }
        ::pclose(pipe);
    }
    return text;
}

std::vector<std::string> fileLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

/// Every "-x" and "--name" in text that starts a word (after a space, comma, quote or the start).
Options optionWords(const std::string& text) {
    static const std::regex option(R"((?:^|[\s,"'{(])(--?[A-Za-z0-9][-A-Za-z0-9]*))");
    Options found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it) {
        found.insert((*it)[1]);
    }
    return found;
}

/// The options --help lists: each option line's names, before the column of descriptions.
Options helpOptions(const std::string& help) {
    Options found;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start == 0 || start == std::string::npos || line[start] != '-') {
            continue;
        }
        const std::string names = line.substr(start, line.find("  ", start) - start);
        found.merge(optionWords(names));
    }
    return found;
}

/// The options a manual page documents: the tags of the .TP paragraphs under OPTIONS.
Options manPageOptions(const std::string& path) {
    Options found;
    bool inOptions = false;
    bool tag = false;
    for (std::string line : fileLines(path)) {
        if (line.starts_with(".SH")) {
            inOptions = line == ".SH OPTIONS";
            continue;
        }
        if (line == ".TP") {
            tag = inOptions;
            continue;
        }
        if (tag) {
            tag = false;
            line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
            line = std::regex_replace(line, std::regex(R"(\\f[BIRP])"), "");
            found.merge(optionWords(line.substr(line.find(' ') + 1)));
        }
    }
    return found;
}

Options bashOptions(const Documented& program) {
    for (const std::string& line : fileLines(ZELVIO_COMPLETION_DIR "/zelvio.bash")) {
        const std::size_t at = line.find_first_not_of(' ');
        if (at != std::string::npos &&
            line.compare(at, std::strlen(program.bashCase), program.bashCase) == 0 &&
            line.find("echo \"") != std::string::npos) {
            return optionWords(line.substr(line.find("echo \"") + 5));
        }
    }
    return {};
}

Options fishOptions(const Documented& program) {
    static const std::regex shortOption(R"( -s ([A-Za-z0-9]))");
    static const std::regex longOption(R"( -l ([-A-Za-z0-9]+))");
    Options found;
    for (const std::string& line : fileLines(ZELVIO_COMPLETION_DIR "/zelvio.fish")) {
        if (!line.starts_with(program.fishPrefix)) {
            continue;
        }
        std::smatch match;
        if (std::regex_search(line, match, shortOption)) {
            std::string option = "-";  // piece by piece: GCC 12 -O3 warns on "-" + string
            option += match[1].str();
            found.insert(option);
        }
        if (std::regex_search(line, match, longOption)) {
            found.insert("--" + match[1].str());
        }
    }
    return found;
}

Options zshOptions(const Documented& program) {
    static const std::regex option(R"((?:^|[\s'{,)])(--?[A-Za-z0-9][-A-Za-z0-9]*)(?=[\[=+,}]))");
    Options found;
    bool inside = false;
    for (const std::string& line : fileLines(ZELVIO_COMPLETION_DIR "/_zelvio")) {
        if (!inside) {
            inside = line.find(program.zshStart) != std::string::npos;
            if (!inside) {
                continue;
            }
        }
        for (auto it = std::sregex_iterator(line.begin(), line.end(), option);
             it != std::sregex_iterator(); ++it) {
            found.insert((*it)[1]);
        }
        if (line.find(program.zshEnd) != std::string::npos &&
            line.find(program.zshStart) == std::string::npos) {
            break;
        }
    }
    return found;
}

std::string missing(const Options& wanted, const Options& have) {
    std::string text;
    for (const std::string& option : wanted) {
        if (!have.contains(option)) {
            text += " " + option;
        }
    }
    return text;
}

TEST(Documentation, EveryOptionOfEveryProgramIsInItsManualPageAndNoOtherIs) {
    for (const Documented& program : documentedPrograms()) {
        SCOPED_TRACE(program.name);
        const Options help = helpOptions(commandOutput(program.help));
        ASSERT_TRUE(help.contains("--help")) << program.help;
        const Options page = manPageOptions(std::string(ZELVIO_MAN_DIR "/") + program.manPage);
        EXPECT_EQ(missing(help, page), "")
            << "options " << program.name << " --help shows that docs/man/" << program.manPage
            << ".in does not document (add a .TP paragraph under OPTIONS)";
        EXPECT_EQ(missing(page, help), "")
            << "options docs/man/" << program.manPage << ".in documents that " << program.name
            << " does not have";
    }
}

TEST(Documentation, EveryOptionIsCompletedInBashZshAndFish) {
    for (const Documented& program : documentedPrograms()) {
        SCOPED_TRACE(program.name);
        const Options help = helpOptions(commandOutput(program.help));
        const Options bash = bashOptions(program);
        const Options fish = fishOptions(program);
        const Options zsh = zshOptions(program);
        EXPECT_EQ(missing(help, bash), "") << "not in packaging/completion/zelvio.bash";
        EXPECT_EQ(missing(bash, help), "") << "in zelvio.bash but not an option";
        EXPECT_EQ(missing(help, fish), "") << "not in packaging/completion/zelvio.fish";
        EXPECT_EQ(missing(fish, help), "") << "in zelvio.fish but not an option";
        EXPECT_EQ(missing(help, zsh), "") << "not in packaging/completion/_zelvio";
        EXPECT_EQ(missing(zsh, help), "") << "in _zelvio but not an option";
    }
}

bool haveProgram(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(Documentation, ManualPagesFormatWithoutWarnings) {
    if (!haveProgram("man")) {
        GTEST_SKIP() << "man is not installed";
    }
    for (const Documented& program : documentedPrograms()) {
        SCOPED_TRACE(program.manPage);
        const std::string page = std::string(ZELVIO_MAN_DIR "/") + program.manPage;
        const std::string said = commandOutput(
            "LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l '" + page + "' 2>&1 >/dev/null");
        EXPECT_EQ(said, "");
        const std::string text =
            commandOutput("LC_ALL=C.UTF-8 MANWIDTH=80 man -l '" + page + "' 2>/dev/null");
        for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS"}) {
            EXPECT_NE(text.find(std::string("\n") + section + "\n"), std::string::npos) << section;
        }
    }
}

TEST(Documentation, CompletionFilesParse) {
    const struct {
        const char* shell;
        const char* file;
    } files[] = {{"bash", "zelvio.bash"}, {"zsh", "_zelvio"}, {"fish", "zelvio.fish"}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.shell);
        if (!haveProgram(f.shell)) {
            std::printf("%s is not installed: %s is not checked\n", f.shell, f.file);
            continue;
        }
        const std::string said =
            commandOutput(std::string(f.shell) + " -n '" ZELVIO_COMPLETION_DIR "/" + f.file +
                          "' 2>&1; echo \"status $?\"");
        EXPECT_EQ(said, "status 0\n");
    }
}

TEST(Documentation, BashCompletesCommandsOptionsBitsAndFilesOfTheirKind) {
    zelvio::test_support::TempDirectory dir;
    for (const char* file : {"talk.wav", "song.MP3", "memo.pdb", "notes.txt"}) {
        dir.write(file, zelvio::test_support::Bytes{0});
    }
    std::filesystem::create_directory(dir.path() / "folder");
    const struct {
        const char* words;
        const char* completions;
    } cases[] = {
        {"zelvio co", "convert"},
        {"zelvio ''", "convert decode info"},
        {"zelvio convert --b", "--bits"},
        {"zelvio convert talk.wav --bits ''", "2 3 4 8"},
        {"zelvio convert ''", "folder song.MP3 talk.wav"},
        {"zelvio convert talk.wav -o ''", "folder memo.pdb"},
        {"zelvio info ''", "folder memo.pdb song.MP3 talk.wav"},
        {"zelvio decode ''", "folder memo.pdb"},
        {"zelvio decode memo.pdb --c", "--comfort-noise"},
        {"zelvio-gui --screenshot-state ''", "converting empty outcome"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        const std::string script =
            "source '" ZELVIO_COMPLETION_DIR "/zelvio.bash'; COMP_WORDS=(" + std::string(c.words) +
            "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _zelvio; printf '%s\\n' \"${COMPREPLY[@]}\" "
            "| sort | paste -sd ' '";
        const std::string said =
            commandOutput("cd '" + dir.path().string() + "' && bash -c \"$(cat <<'EOF'\n" + script +
                          "\nEOF\n)\"");
        EXPECT_EQ(said, std::string(c.completions) + "\n");
    }
}

}  // namespace
