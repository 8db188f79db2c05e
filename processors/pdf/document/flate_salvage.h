// What a damaged Flate stream holds before its damage. zlib inflates the data until it goes
// wrong, and every byte produced up to there is kept: qpdf drops what the failing call had
// produced, which for a stream read in one piece is all of it. Pure function of its bytes.
#pragma once

#include <string>
#include <string_view>

namespace pdf::document {

struct FlateSalvage {
  std::string data;       // what inflated before the damage (or the end)
  bool complete = false;  // the stream inflated to its end without error
  bool exceeded = false;  // it would inflate to more than the bound; `data` stops there
};

// Inflates the zlib stream `raw` to at most `maxBytes` bytes.
FlateSalvage InflateUntilDamage(std::string_view raw, long long maxBytes);

}  // namespace pdf::document
