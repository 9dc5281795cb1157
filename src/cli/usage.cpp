#include "cli/usage.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "cli/commands.h"
#include "cli/terminal.h"

namespace zelvio::cli {
namespace {

/// Edits between a and b: insertions, deletions, changes and swaps of neighbours, each one.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    for (std::size_t j = 0; j <= b.size(); ++j) {
        d[0][j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

std::string_view withoutDashes(std::string_view word) {
    return word.substr(std::min(word.find_first_not_of('-'), word.size()));
}

/// "'a'", "'a' or 'b'", "'a', 'b' or 'c'".
std::string quotedList(const std::vector<std::string>& words) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + ("'" + words[i] + "'");
    }
    return text;
}

std::string suggestion(std::string_view word, const std::vector<std::string>& candidates) {
    const std::vector<std::string> near = nearestWords(word, candidates);
    return near.empty() ? std::string() : "; did you mean " + quotedList(near) + "?";
}

/// The names a command answers to: "--output", "-o", ... with -h and --help.
std::vector<std::string> optionNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& name : option->get_lnames()) {
            names.push_back("--" + name);
        }
        for (const std::string& name : option->get_snames()) {
            names.push_back("-" + name);
        }
    }
    return names;
}

bool isOptionWord(std::string_view word) {
    return word.size() > 1 && word.front() == '-';
}

/// The first word of argv[from, to) that command has no option for ("--bit", "--bits=4" as
/// "--bits", "-fx" whole), or an empty string.
std::string unknownOption(const CLI::App& command, int argc, char** argv, int from, int to) {
    const std::vector<std::string> known = optionNames(command);
    const auto isKnown = [&](const std::string& name) {
        return std::find(known.begin(), known.end(), name) != known.end();
    };
    for (int i = from; i < std::min(to, argc); ++i) {
        const std::string_view word = argv[i];
        if (word == "--") {
            break;
        }
        if (!isOptionWord(word)) {
            continue;
        }
        if (word.starts_with("--")) {
            const std::string name(word.substr(0, word.find('=')));
            if (!isKnown(name)) {
                return name;
            }
        } else {
            for (std::size_t letter = 1; letter < word.size(); ++letter) {
                const std::string name = std::string("-") + word[letter];
                if (!isKnown(name)) {
                    return word.size() == 2 ? name : std::string(word);
                }
                const CLI::Option* option = command.get_option_no_throw(name);
                if (option != nullptr && option->get_items_expected_min() != 0) {
                    break;  // the rest of the word is the option's value ("-oout.pdb")
                }
            }
        }
    }
    return {};
}

/// The "Usage: ..." line of a command's help.
std::string usageLine(const CLI::App& command) {
    const std::string help =
        command.get_parent() != nullptr ? command.help("zelvio") : command.help();
    const std::size_t at = help.find("Usage:");
    if (at == std::string::npos) {
        return {};
    }
    return help.substr(at, help.find('\n', at) - at);
}

/// CLI11's text for an error, in our words where it is vague.
std::string errorText(const CLI::ParseError& error) {
    std::string text = error.what();
    // "--title: 1 required TEXT missing" -> "--title needs a value"
    if (const std::size_t at = text.find(": 1 required ");
        at != std::string::npos && text.ends_with(" missing")) {
        return text.substr(0, at) + " needs a value";
    }
    return text;
}

/// An option that zelvio itself does not take: one of a command's given before the command, or
/// an unknown one.
std::string mainOptionProblem(const CLI::App& app, const std::string& option) {
    for (const CLI::App* sub : app.get_subcommands({})) {
        if (sub->get_option_no_throw(option) != nullptr) {
            return option + " is an option of a command; put it after the command: zelvio " +
                   sub->get_name() + " " + option + " ...";
        }
    }
    return "unknown option '" + option + "'" + suggestion(option, optionNames(app));
}

void reportUsageError(const std::string& message, const CLI::App& app, const CLI::App* command) {
    printError(message);
    const CLI::App& shown = command != nullptr ? *command : app;
    std::fprintf(stderr, "%s\n", usageLine(shown).c_str());
    std::fprintf(
        stderr, "Run '%s --help' for more.\n",
        (command != nullptr ? "zelvio " + command->get_name() : std::string("zelvio")).c_str());
}

}  // namespace

std::vector<std::string> nearestWords(std::string_view word,
                                      const std::vector<std::string>& candidates) {
    const std::string_view letters = withoutDashes(word);
    if (letters.size() < 3) {
        return {};
    }
    const std::size_t allowed = std::max<std::size_t>(1, letters.size() / 3);
    std::vector<std::pair<std::size_t, std::string>> near;
    for (const std::string& candidate : candidates) {
        if (withoutDashes(candidate).size() < 2 || candidate == word) {
            continue;
        }
        const std::size_t distance = editDistance(word, candidate);
        if (distance <= allowed || candidate.starts_with(word)) {
            near.emplace_back(distance, candidate);
        }
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> words;
    for (const auto& [distance, candidate] : near) {
        if (std::find(words.begin(), words.end(), candidate) == words.end()) {
            words.push_back(candidate);
        }
    }
    return words;
}

CLI::Validator oneOf(std::vector<std::string> values, std::string allowed) {
    return CLI::Validator(
        [values = std::move(values), allowed](std::string& value) -> std::string {
            if (std::find(values.begin(), values.end(), value) != values.end()) {
                return {};
            }
            return "'" + value + "' is not allowed: use " + allowed;
        },
        "", "one of");
}

CLI::Validator wholeNumber(long long min, long long max) {
    return CLI::Validator(
        [min, max](std::string& value) -> std::string {
            long long number = 0;
            const auto [end, problem] =
                std::from_chars(value.data(), value.data() + value.size(), number);
            if (problem == std::errc() && end == value.data() + value.size() && number >= min &&
                number <= max) {
                return {};
            }
            constexpr long long kLargestNamed = 1'000'000;
            return "'" + value + "' is not a whole number " +
                   (max <= kLargestNamed
                        ? "from " + std::to_string(min) + " to " + std::to_string(max)
                        : "of " + std::to_string(min) + " or more");
        },
        "", "whole number");
}

std::optional<int> parseCommandLine(CLI::App& app, int argc, char** argv) {
    if (argc <= 1) {
        std::fputs(app.help().c_str(), stderr);
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
        return std::nullopt;
    } catch (const CLI::Success& done) {  // --help, --version
        return app.exit(done) == 0 ? kExitSuccess : kExitUsage;
    } catch (const CLI::ParseError& error) {
        const std::vector<CLI::App*> chosen = app.get_subcommands();
        const CLI::App* command = chosen.empty() ? nullptr : chosen.front();
        std::vector<std::string> commandNames;
        for (const CLI::App* sub : app.get_subcommands({})) {
            commandNames.push_back(sub->get_name());
        }
        if (command == nullptr) {
            // No command: the first word that is not an option should have been one.
            for (int i = 1; i < argc; ++i) {
                if (!isOptionWord(argv[i])) {
                    reportUsageError("'" + std::string(argv[i]) + "' is not a zelvio command" +
                                         suggestion(argv[i], commandNames),
                                     app, nullptr);
                    return kExitUsage;
                }
            }
            if (const std::string option = unknownOption(app, argc, argv, 1, argc);
                !option.empty()) {
                reportUsageError(mainOptionProblem(app, option), app, nullptr);
                return kExitUsage;
            }
            reportUsageError("a command is needed: " + quotedList(commandNames), app, nullptr);
            return kExitUsage;
        }
        std::string message = command->get_name() + ": ";
        int commandAt = 1;
        while (commandAt < argc && argv[commandAt] != command->get_name()) {
            ++commandAt;
        }
        if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
            if (const std::string option = unknownOption(app, argc, argv, 1, commandAt);
                !option.empty()) {
                reportUsageError(mainOptionProblem(app, option), app, command);
                return kExitUsage;
            }
            if (const std::string option = unknownOption(*command, argc, argv, commandAt + 1, argc);
                !option.empty()) {
                message +=
                    "unknown option '" + option + "'" + suggestion(option, optionNames(*command));
            } else {
                const std::vector<std::string> extras = command->remaining();
                message += "unexpected argument" + std::string(extras.size() > 1 ? "s " : " ");
                for (std::size_t i = 0; i < extras.size(); ++i) {
                    message += (i == 0 ? "'" : " '") + extras[i] + "'";
                }
            }
        } else {
            message += errorText(error);
        }
        reportUsageError(message, app, command);
        return kExitUsage;
    }
}

}  // namespace zelvio::cli
