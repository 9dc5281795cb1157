#pragma once
// The converter dialog's form, whatever toolkit draws it: its controls (ids, texts with their
// mnemonics, accessible names and descriptions, the keyboard order), and how the texts in its
// fields become the ConversionSettings of a run.
//
//   FormFields fields;
//   fields.inputPath = "talk.wav";          // what the edits hold, UTF-8
//   fields.checkedModeId = control_id::kFourBits;
//   ConversionSettings settings = settingsFromFields(fields);   // 4 bits, talk.wav, ...
//
// A front end draws the controls at their places and wires them; every decision about what the
// fields mean is made here, so the dialogs of different toolkits behave alike.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "io/path_text.h"
#include "job/conversion_job.h"

namespace zelvio {

/// Control ids of the converter dialog.
namespace control_id {
inline constexpr int kOk = 1;                 ///< default push button "OK"
inline constexpr int kCancel = 2;             ///< push button "Cancel"
inline constexpr int kInputPath = 1000;       ///< edit: audio file to convert
inline constexpr int kBrowseInput = 1001;     ///< push button "Browse" for 1000
inline constexpr int kTitle = 1002;           ///< edit: database title
inline constexpr int kDescription = 1003;     ///< edit: description
inline constexpr int kDatabasePath = 1004;    ///< edit: database file to write
inline constexpr int kBrowseDatabase = 1005;  ///< push button "Browse" for 1004
inline constexpr int kVoiceActivity = 1006;   ///< check box "Voice Activity Detection"
inline constexpr int kSplit = 1007;           ///< check box: split long recordings
inline constexpr int kEightBits = 1008;       ///< radio button: 8-bit PCM
inline constexpr int kFourBits = 1009;        ///< radio button: 4-bit ADPCM
inline constexpr int kThreeBits = 1010;       ///< radio button: 3-bit ADPCM
inline constexpr int kTwoBits = 1011;         ///< radio button: 2-bit ADPCM
inline constexpr int kBestQuality = 1012;     ///< check box "Best quality (slower)"
}  // namespace control_id

/// Texts of the controls. An ampersand marks the mnemonic: the letter after it is underlined and
/// Alt with that letter reaches the control (for a label, the edit beside it). No two controls
/// share a letter; OK and Cancel have Enter and Escape instead.
namespace form_text {
inline constexpr const char* kOk = "OK";
inline constexpr const char* kCancel = "Cancel";
inline constexpr const char* kInputLabel = "&Input WAV file name";
inline constexpr const char* kBrowseInput = "&Browse";
inline constexpr const char* kDatabaseLabel = "&Database file name";
inline constexpr const char* kBrowseDatabase = "B&rowse";
inline constexpr const char* kTitleLabel = "Audio Database &Title";
inline constexpr const char* kDescriptionLabel = "Audio De&scription";
inline constexpr const char* kModeGroup = "&Compression Mode";
inline constexpr const char* kEightBits = "&8 bit per sample (no compression)";
inline constexpr const char* kFourBits = "&4 bit per sample";
inline constexpr const char* kThreeBits = "&3 bit per sample";
inline constexpr const char* kTwoBits = "&2 bit per sample";
inline constexpr const char* kVoiceActivity = "&Voice Activity Detection";
inline constexpr const char* kBestQuality = "Best &quality (slower)";
inline constexpr const char* kSplit = "Sp&lit long recordings into several databases";
}  // namespace form_text

/// A text as shown, without its mnemonic marker: "&Browse" is "Browse", "&&" an ampersand.
[[nodiscard]] std::string withoutMnemonic(std::string_view text);
/// The mnemonic letter of a text, lower case ("B&rowse" has 'r'); nullopt when it has none.
[[nodiscard]] std::optional<char> mnemonicOf(std::string_view text);

/// What a screen reader says for a control: its name and a sentence on what it does.
struct AccessibleText {
    int id;                   ///< the control (control_id)
    const char* name;         ///< short, unique in the dialog
    const char* description;  ///< what the control is for
};

/// The accessible texts of every control with an id.
inline constexpr AccessibleText kAccessibleTexts[] = {
    {control_id::kInputPath, "Input WAV file name", "The recording to convert"},
    {control_id::kBrowseInput, "Browse for the input file",
     "Opens a file dialog to choose the recording"},
    {control_id::kDatabasePath, "Database file name",
     "The audio database file to write; suggested from the input's name"},
    {control_id::kBrowseDatabase, "Browse for the database file",
     "Opens a file dialog to choose where the database is saved"},
    {control_id::kTitle, "Audio Database Title",
     "The name the handheld shows for the database, up to 31 characters"},
    {control_id::kDescription, "Audio Description",
     "A note stored in the database, up to 63 characters"},
    {control_id::kEightBits, "8 bit per sample (no compression)",
     "No compression: the largest file, about 10 kilobytes per second of audio"},
    {control_id::kFourBits, "4 bit per sample", "ADPCM at half the size of 8 bits"},
    {control_id::kThreeBits, "3 bit per sample", "ADPCM at three eighths of the size of 8 bits"},
    {control_id::kTwoBits, "2 bit per sample", "ADPCM at a quarter of the size of 8 bits"},
    {control_id::kBestQuality, "Best quality (slower)",
     "Searches for the ADPCM codes that sound closest to the recording: the same size, better "
     "sound, a slower conversion; for the 4, 3 and 2 bit modes"},
    {control_id::kVoiceActivity, "Voice Activity Detection",
     "Stores quiet stretches as one-byte silence markers, which saves space in recordings "
     "with pauses"},
    {control_id::kSplit, "Split long recordings into several databases",
     "Audio that does not fit one database goes on in more databases, numbered, instead of "
     "being cut"},
    {control_id::kOk, "OK", "Converts the recording and saves the database"},
    {control_id::kCancel, "Cancel", "Closes the dialog without converting"},
};

/// The controls with an id in keyboard order, which is their order on screen from top to
/// bottom and left to right. Tab stops at each of them except the radio buttons, of which it
/// stops at the checked one only; the arrow keys move between the radio buttons.
inline constexpr int kKeyboardOrder[] = {
    control_id::kInputPath,      control_id::kBrowseInput, control_id::kDatabasePath,
    control_id::kBrowseDatabase, control_id::kTitle,       control_id::kDescription,
    control_id::kEightBits,      control_id::kFourBits,    control_id::kThreeBits,
    control_id::kTwoBits,        control_id::kBestQuality, control_id::kVoiceActivity,
    control_id::kSplit,          control_id::kOk,          control_id::kCancel,
};

/// A compression mode: the radio button that stands for it and the bits per sample it codes at.
struct CompressionMode {
    int id;
    int bitsPerSample;
};
inline constexpr CompressionMode kCompressionModes[] = {
    {control_id::kEightBits, 8},
    {control_id::kFourBits, 4},
    {control_id::kThreeBits, 3},
    {control_id::kTwoBits, 2},
};

/// The bits per sample of the checked radio button: 8, 4 or 3 for 1008 to 1010, and 2 for 1011,
/// for no checked button (0) and for any other id.
[[nodiscard]] int bitsForMode(int checkedModeId);
/// The radio button for a number of bits per sample; 1008 for a number no button stands for.
[[nodiscard]] int modeForBits(int bitsPerSample);

/// What the dialog's controls hold when OK is pressed.
struct FormFields {
    std::string inputPath;                       ///< edit 1000, UTF-8
    std::string databasePath;                    ///< edit 1004, UTF-8
    std::string title;                           ///< edit 1002, UTF-8
    std::string description;                     ///< edit 1003, UTF-8
    int checkedModeId = control_id::kEightBits;  ///< the checked radio button, 0 for none
    bool voiceActivityDetection = false;         ///< check box 1006
    bool bestQuality = false;                    ///< check box 1012: the search encoder
    bool split = false;                          ///< check box 1007
};

/// The settings of a run from the fields. Texts are taken as they are: the job reports empty or
/// wrong paths in its outcome.
[[nodiscard]] ConversionSettings settingsFromFields(const FormFields& fields);

// pathFromUtf8 and utf8FromPath (io/path_text.h) turn the fields' text into paths and back.

/// The database file suggested for an input: the input's path with the extension .pdb, in the
/// same folder ("rec/talk.wav" gives "rec/talk.pdb"). Empty for an empty input, for one that
/// names a folder ("rec/") and for one that already ends in .pdb (the suggestion would be the
/// input itself).
[[nodiscard]] std::string suggestedDatabasePath(std::string_view inputPath);

/// Keeps the database field in step with the input field while the user has not chosen a
/// database of their own: an empty database field, or one that still holds the last
/// suggestion, follows the input; anything else is left alone.
class DatabaseNameSuggester {
  public:
    /// The input field now holds inputText and the database field databaseText. Returns the
    /// text the database field should be given, or nullopt to leave it as it is.
    [[nodiscard]] std::optional<std::string> inputChanged(std::string_view inputText,
                                                          std::string_view databaseText);

  private:
    std::string lastSuggestion_;
};

/// What the dialog keeps between runs of the program.
struct RememberedChoices {
    std::string inputFolder;     ///< folder of the last input, UTF-8; empty for none
    std::string databaseFolder;  ///< folder of the last database, UTF-8; empty for none
    int bitsPerSample = 8;       ///< the last compression mode
    bool bestQuality = false;    ///< the last state of "Best quality (slower)"

    bool operator==(const RememberedChoices&) const = default;
};

/// What to remember when the dialog closes with these fields: the folders of the two paths
/// (absolute; a relative path is taken from the current folder), each kept from before when its
/// field is empty, the checked mode and "Best quality (slower)".
[[nodiscard]] RememberedChoices choicesToRemember(const RememberedChoices& before,
                                                  const FormFields& fields);

/// The folder a Browse button opens in: the folder of the path its field holds, or when the
/// field is empty the remembered folder (which may be empty: the platform's choice).
[[nodiscard]] std::string browseFolder(std::string_view fieldText,
                                       std::string_view rememberedFolder);

}  // namespace zelvio
