// Base64 (RFC 4648, with padding) for the browser's protocol, which carries bodies and PDF
// chunks as base64 text. Pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pdf::html {

std::string EncodeBase64(std::string_view bytes);
// nullopt when `text` holds a character outside the alphabet or its length or padding is wrong.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace pdf::html
