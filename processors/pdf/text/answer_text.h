// Text made fit for XML: the job file's answers and the XMP packets this program writes. XML
// 1.0 carries only valid UTF-8 of the characters it allows (no control characters other
// than tab, line feed and carriage return, no surrogates, not U+FFFE or U+FFFF); the mapping
// refuses a whole answer holding a control character, and a reader refuses a file holding
// any of the others. Pure functions.
#pragma once

#include <optional>
#include <string>

namespace pdf::text {

// `text` with every byte from 0x00 to 0x1F other than tab, line feed and carriage return
// replaced by a space (a form feed between text blocks becomes a space too).
std::string XmlSafeText(std::string text);

// Whether XML 1.0 allows the character `c` in text.
bool IsXmlCharacter(char32_t c);

// Why `text` cannot be written as XML text taken from a caller, or nullopt when it can: it
// must be valid UTF-8 (shortest forms, no surrogates) of characters XML allows, and hold no
// Unicode noncharacter (U+FDD0 to U+FDEF and the last two code points of every plane), which
// no text is meant to hold. The reason reads after the text's name: "holds invalid UTF-8 at
// byte 3", "holds U+FFFF, which XML cannot carry".
std::optional<std::string> XmlUnfitReason(const std::string& text);

// `text` with every invalid UTF-8 byte and every character XML does not allow replaced by
// U+FFFD (the replacement character); nullopt when nothing needed replacing.
std::optional<std::string> XmlCharactersReplaced(const std::string& text);

}  // namespace pdf::text
