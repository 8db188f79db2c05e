// Writes whole lines to the process's standard streams: each call writes its text and a
// newline in one piece and flushes, so that lines from several request threads never mix.
// Safe to call from any thread.
#pragma once

#include <ostream>
#include <string_view>

void WriteConsoleLine(std::ostream& stream, std::string_view text);
