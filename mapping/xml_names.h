// The checks that keep a text fit to be written into an XML job file as an element name, an
// attribute name, element or attribute text, or comment text. The tree writer copies names
// and comments into the file unchecked, so the dictionary-to-tree conversion asks these
// before it builds a node.
//
// Pure functions on UTF-8 bytes; they hold no state and are safe to call from any thread.
#pragma once

#include <string_view>

namespace xml_names {

// The names the tree library gives attributes, comments and mixed text.
inline constexpr std::string_view kAttributesMarker = "<xmlattr>";
inline constexpr std::string_view kCommentMarker = "<xmlcomment>";
inline constexpr std::string_view kTextMarker = "<xmltext>";

// Whether `name` is one of the three markers above.
bool IsTreeMarker(std::string_view name);

// Whether `name` is a Name of XML 1.0: a name-start character (letter, "_", ":" or one of
// the wider Unicode ranges) followed by name characters (those plus digits, "-", "." and a
// few combining ranges), as well-formed UTF-8. The empty text is not a name.
bool IsXmlName(std::string_view name);

// Whether `text` holds no control character that XML 1.0 cannot carry (the bytes 0x00 to
// 0x1F other than tab, line feed and carriage return). Other bytes pass unchanged, as the
// writer escapes markup characters itself.
bool IsXmlText(std::string_view text);

// Whether `text` may stand between "<!--" and "-->": XML text without "--" and not ending
// in "-", so that the comment can neither end early nor run into its own closing mark.
bool IsXmlCommentText(std::string_view text);

}  // namespace xml_names
