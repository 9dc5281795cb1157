#include "pdb/handheld_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

namespace zelvio {
namespace {

/// Windows-1252 bytes 0x80 to 0x9F and the code points they stand for (0 where the byte is
/// unused). Every other byte is the code point of the same number.
constexpr std::array<char32_t, 32> kHighControlRange = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};
constexpr char32_t kReplacementCharacter = 0xFFFD;

char toWindows1252(char32_t codePoint) {
    if (codePoint < 0x20) {
        return '?';
    }
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return static_cast<char>(static_cast<unsigned char>(codePoint));
    }
    for (std::size_t i = 0; i < kHighControlRange.size(); ++i) {
        if (kHighControlRange[i] != 0 && kHighControlRange[i] == codePoint) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

char32_t fromWindows1252(unsigned char byte) {
    if (byte < 0x80 || byte >= 0xA0) {
        return byte;
    }
    const char32_t codePoint = kHighControlRange[byte - 0x80u];
    return codePoint != 0 ? codePoint : kReplacementCharacter;
}

/// Appends the UTF-8 form of a code point below U+10000 (all that Windows-1252 reaches).
void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

Utf8Sequence decodeUtf8(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    char32_t value = 0;
    std::uint8_t low = 0x80;  // allowed range of the second byte
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;  // no overlong forms
        if (lead == 0xED)
            high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;  // no overlong forms
        if (lead == 0xF4)
            high = 0x8F;  // nothing above U+10FFFF
    } else {
        return {std::nullopt, 1};
    }
    for (std::size_t i = 1; i < length; ++i) {
        const std::uint8_t lo = i == 1 ? low : 0x80;
        const std::uint8_t hi = i == 1 ? high : 0xBF;
        if (i >= text.size() || byte(i) < lo || byte(i) > hi) {
            return {std::nullopt, i};
        }
        value = (value << 6) | (byte(i) & 0x3F);
    }
    return {value, length};
}

std::string toHandheldText(std::string_view utf8, std::size_t maxCharacters) {
    std::string result;
    while (!utf8.empty() && result.size() < maxCharacters) {
        const Utf8Sequence decoded = decodeUtf8(utf8);
        result.push_back(decoded.codePoint ? toWindows1252(*decoded.codePoint) : '?');
        utf8.remove_prefix(decoded.length);
    }
    return result;
}

HandheldTextLoss handheldTextLoss(std::string_view utf8, std::size_t maxCharacters) {
    HandheldTextLoss loss;
    while (!utf8.empty()) {
        const Utf8Sequence decoded = decodeUtf8(utf8);
        const bool stored = loss.characters++ < maxCharacters;
        if (stored && (!decoded.codePoint || toWindows1252(*decoded.codePoint) == '?') &&
            utf8.front() != '?') {
            std::string shown(utf8.substr(0, decoded.length));
            char name[16];
            if (!decoded.codePoint) {
                std::snprintf(name, sizeof name, "\\x%02X",
                              static_cast<unsigned>(static_cast<std::uint8_t>(utf8.front())));
                shown = name;
            } else if (*decoded.codePoint < 0x20) {
                std::snprintf(name, sizeof name, "U+%04X",
                              static_cast<unsigned>(*decoded.codePoint));
                shown = name;
            }
            if (std::find(loss.replaced.begin(), loss.replaced.end(), shown) ==
                loss.replaced.end()) {
                loss.replaced.push_back(std::move(shown));
            }
        }
        utf8.remove_prefix(decoded.length);
    }
    loss.cut = loss.characters > maxCharacters;
    return loss;
}

std::string handheldTextToUtf8(std::string_view handheld) {
    std::string out;
    for (const char c : handheld) {
        appendUtf8(out, fromWindows1252(static_cast<unsigned char>(c)));
    }
    return out;
}

}  // namespace zelvio
