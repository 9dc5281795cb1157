// The dialog's form without a toolkit: texts and mnemonics, settings from the fields, the
// suggested database name and what is remembered between runs.
#include "frontend/converter_form.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace zelvio {
namespace {

namespace fs = std::filesystem;

TEST(ConverterForm, EveryTextShowsAsBeforeWithAMnemonicNoOtherControlUses) {
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {form_text::kInputLabel, "Input WAV file name"},
        {form_text::kBrowseInput, "Browse"},
        {form_text::kDatabaseLabel, "Database file name"},
        {form_text::kBrowseDatabase, "Browse"},
        {form_text::kTitleLabel, "Audio Database Title"},
        {form_text::kDescriptionLabel, "Audio Description"},
        {form_text::kModeGroup, "Compression Mode"},
        {form_text::kEightBits, "8 bit per sample (no compression)"},
        {form_text::kFourBits, "4 bit per sample"},
        {form_text::kThreeBits, "3 bit per sample"},
        {form_text::kTwoBits, "2 bit per sample"},
        {form_text::kVoiceActivity, "Voice Activity Detection"},
        {form_text::kBestQuality, "Best quality (slower)"},
        {form_text::kSplit, "Split long recordings into several databases"},
    };
    std::set<char> letters;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(withoutMnemonic(c.text), c.shown);
        const std::optional<char> letter = mnemonicOf(c.text);
        ASSERT_TRUE(letter.has_value());
        EXPECT_TRUE(letters.insert(*letter).second) << "'" << *letter << "' is taken";
    }
    // OK and Cancel answer to Enter and Escape.
    EXPECT_EQ(mnemonicOf(form_text::kOk), std::nullopt);
    EXPECT_EQ(mnemonicOf(form_text::kCancel), std::nullopt);
}

TEST(ConverterForm, MnemonicMarkersAreReadAsTheToolkitsReadThem) {
    const struct {
        const char* text;
        const char* shown;
        std::optional<char> letter;
    } cases[] = {
        {"B&rowse", "Browse", 'r'},
        {"&Browse", "Browse", 'b'},
        {"Salt && &Pepper", "Salt & Pepper", 'p'},
        {"Salt && Pepper", "Salt & Pepper", std::nullopt},
        {"Ends in &", "Ends in &", std::nullopt},
        {"", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(withoutMnemonic(c.text), c.shown);
        EXPECT_EQ(mnemonicOf(c.text), c.letter);
    }
}

TEST(ConverterForm, EveryControlHasAUniqueAccessibleNameAndADescriptionAndAPlaceInTheOrder) {
    std::set<std::string> names;
    std::set<int> ids;
    for (const AccessibleText& text : kAccessibleTexts) {
        SCOPED_TRACE(text.id);
        EXPECT_TRUE(names.insert(text.name).second);
        EXPECT_GT(std::string(text.description).size(), 10u);
        ids.insert(text.id);
    }
    const std::set<int> ordered(std::begin(kKeyboardOrder), std::end(kKeyboardOrder));
    EXPECT_EQ(ids, ordered);
    EXPECT_EQ(ordered.size(), std::size(kKeyboardOrder));  // each control once
    EXPECT_EQ(ordered.size(), 15u);  // the 13 of the original form, best quality and split
}

TEST(ConverterForm, CheckedRadioButtonGivesTheBitsPerSample) {
    const struct {
        int checkedId;
        int bits;
    } cases[] = {{control_id::kEightBits, 8},
                 {control_id::kFourBits, 4},
                 {control_id::kThreeBits, 3},
                 {control_id::kTwoBits, 2},
                 {0, 2},  // none checked: as the job takes any other number
                 {control_id::kVoiceActivity, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.checkedId);
        FormFields fields;
        fields.checkedModeId = c.checkedId;
        EXPECT_EQ(settingsFromFields(fields).bitsPerSample, c.bits);
    }
    for (const CompressionMode& mode : kCompressionModes) {
        EXPECT_EQ(modeForBits(mode.bitsPerSample), mode.id);
    }
    EXPECT_EQ(modeForBits(5), control_id::kEightBits);
}

TEST(ConverterForm, SettingsTakeTheFieldsAsTheyAreNonAsciiPathsIncluded) {
    FormFields fields;
    fields.inputPath = "/rec/Größe – 録音.wav";
    fields.databasePath = "out";
    fields.title = "Memo «1»";
    fields.description = "";
    fields.checkedModeId = control_id::kThreeBits;
    fields.voiceActivityDetection = true;
    fields.split = true;
    const ConversionSettings settings = settingsFromFields(fields);
    // (u8string is compared as bytes: GoogleTest prints no char8_t strings here.)
    EXPECT_TRUE(settings.inputPath.u8string() == u8"/rec/Größe – 録音.wav");
    EXPECT_TRUE(settings.inputPath.filename().u8string() == u8"Größe – 録音.wav");
    EXPECT_EQ(utf8FromPath(settings.inputPath), fields.inputPath);
    EXPECT_EQ(settings.databasePath, fs::path("out"));  // no extension added
    EXPECT_EQ(settings.title, fields.title);
    EXPECT_EQ(settings.description, "");
    EXPECT_EQ(settings.bitsPerSample, 3);
    EXPECT_TRUE(settings.voiceActivityDetection);
    EXPECT_EQ(settings.adpcmCoding, AdpcmCoding::Greedy);  // unless asked for
    fields.bestQuality = true;
    EXPECT_EQ(settingsFromFields(fields).adpcmCoding, AdpcmCoding::Search);
    EXPECT_EQ(settingsFromFields(fields).searchPaths, 0);  // the search's default width
    EXPECT_TRUE(settings.split);
    EXPECT_EQ(settings.splitMinutes, 0);  // parts end only when full
}

TEST(ConverterForm, SuggestedDatabaseIsTheInputWithPdbBesideIt) {
    const struct {
        const char* input;
        const char* database;
    } cases[] = {
        {"talk.wav", "talk.pdb"},
        {"/home/me/rec/talk.WAV", "/home/me/rec/talk.pdb"},
        {"rec/talk", "rec/talk.pdb"},
        {"rec/talk.", "rec/talk.pdb"},
        {"a.b.flac", "a.b.pdb"},
        {"/rec/Größe – 録音.mp3", "/rec/Größe – 録音.pdb"},
        {".wav", ".wav.pdb"},  // a name that is all extension keeps it
        {"", ""},
        {"rec/", ""},      // a folder, no file yet
        {"memo.pdb", ""},  // would be the input itself
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(suggestedDatabasePath(c.input), c.database);
    }
}

// The database field follows the input as it is typed, until the user puts a name of their own
// there; emptied, it follows again.
TEST(ConverterForm, SuggestionFollowsTheInputUntilTheUserChoosesADatabase) {
    DatabaseNameSuggester suggester;
    std::string database;
    const auto type = [&](const char* input) {
        if (auto suggestion = suggester.inputChanged(input, database)) {
            database = *suggestion;
        }
        return database;
    };
    EXPECT_EQ(type("t"), "t.pdb");
    EXPECT_EQ(type("talk"), "talk.pdb");
    EXPECT_EQ(type("talk.w"), "talk.pdb");
    EXPECT_EQ(type("talk.wav"), "talk.pdb");
    EXPECT_EQ(suggester.inputChanged("talk.wav", database), std::nullopt);  // nothing to change
    EXPECT_EQ(type(""), "");  // the suggestion goes with the input
    EXPECT_EQ(type("memo.wav"), "memo.pdb");
    database = "/safe/keep.pdb";  // the user's own
    EXPECT_EQ(type("other.wav"), "/safe/keep.pdb");
    EXPECT_EQ(type(""), "/safe/keep.pdb");
    database.clear();
    EXPECT_EQ(type("again.wav"), "again.pdb");
}

#ifndef _WIN32
// The cases below are written with POSIX paths ("/rec" is not absolute on Windows).
TEST(ConverterForm, RemembersTheFoldersOfTheFieldsAndTheMode) {
    const RememberedChoices before{"/old/in", "/old/out", 4};
    const fs::path current = fs::current_path();
    const struct {
        const char* input;
        const char* database;
        int modeId;
        RememberedChoices after;
    } cases[] = {
        {"/rec/talk.wav", "/db/talk.pdb", control_id::kTwoBits, {"/rec", "/db", 2}},
        {"", "", control_id::kEightBits, {"/old/in", "/old/out", 8}},
        {"talk.wav",
         "",
         control_id::kThreeBits,
         {utf8FromPath(current), "/old/out", 3}},  // relative: from the current folder
        {"/rec/", "/db/x", 0, {"/rec", "/db", 2}},
    };
    for (const bool bestQuality : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.input);
            FormFields fields;
            fields.inputPath = c.input;
            fields.databasePath = c.database;
            fields.checkedModeId = c.modeId;
            fields.bestQuality = bestQuality;
            RememberedChoices after = c.after;
            after.bestQuality = bestQuality;
            EXPECT_EQ(choicesToRemember(before, fields), after);
        }
    }
}

TEST(ConverterForm, BrowseOpensInTheFieldsFolderOrElseTheRememberedOne) {
    EXPECT_EQ(browseFolder("/rec/talk.wav", "/old"), "/rec");
    EXPECT_EQ(browseFolder("", "/old"), "/old");
    EXPECT_EQ(browseFolder("", ""), "");
    EXPECT_EQ(browseFolder("talk.wav", "/old"), utf8FromPath(fs::current_path()));
}
#endif

}  // namespace
}  // namespace zelvio
