// Warnings about the parts of a title or description the database will not keep.
#include "frontend/text_warnings.h"

#include "frontend/converter_form.h"

#include <gtest/gtest.h>

namespace zelvio {
namespace {

TEST(TextWarnings, NameWhatIsCutAndWhatTheHandheldCannotShow) {
    const struct {
        const char* input;
        const char* title;
        const char* description;
        std::vector<std::string> warnings;
    } cases[] = {
        {"talk.wav", "", "", {}},
        {"talk.wav", "Memo", "Monday", {}},
        {"talk.wav", "Caf\xC3\xA9 \xE2\x82\xAC", "", {}},
        {"talk.wav",
         "A lecture on the history of the Roman roads",
         "",
         {"the title is cut to 31 characters: \"A lecture on the history of the\""}},
        {"\xC5\x81\xC3\xB3"
         "d\xC5\xBA lecture.wav",
         "",
         "",  // the title from the file's name
         {"the handheld cannot show \"\xC5\x81\", \"\xC5\xBA\" in the title: stored as \"?\" "
          "(\"?\xC3\xB3"
          "d? lecture\")"}},
        {"talk.wav",
         "Memo",
         "tab\there and far, far beyond sixty-three characters of text, on and on",
         {"the description is cut to 63 characters: \"tab?here and far, far beyond sixty-three "
          "characters of text, on\"",
          "the handheld cannot show \"U+0009\" in the description: stored as \"?\" (\"tab?here "
          "and far, far beyond sixty-three characters of text, on\")"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ConversionSettings settings;
        settings.inputPath = pathFromUtf8(c.input);  // the name is UTF-8 on every system
        settings.title = c.title;
        settings.description = c.description;
        EXPECT_EQ(handheldTextWarnings(settings), c.warnings);
    }
}

}  // namespace
}  // namespace zelvio
