#include "processors/pdf/document/flate_salvage.h"

#include <zlib.h>

#include <algorithm>

namespace pdf::document {

FlateSalvage InflateUntilDamage(std::string_view raw, long long maxBytes) {
  FlateSalvage salvage;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK)
    return salvage;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
  stream.avail_in = static_cast<uInt>(raw.size());
  constexpr std::size_t kChunk = 1 << 16;
  char chunk[kChunk];
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = kChunk;
    status = inflate(&stream, Z_NO_FLUSH);
    std::size_t produced = kChunk - stream.avail_out;
    std::size_t room = static_cast<std::size_t>(
        std::max<long long>(0, maxBytes - static_cast<long long>(salvage.data.size())));
    salvage.data.append(chunk, std::min(produced, room));
    if (produced > room) {
      salvage.exceeded = true;
      break;
    }
    // No progress with input left (or none left before the end): the data stops short.
    if (status == Z_BUF_ERROR || (status == Z_OK && produced == 0 && stream.avail_in == 0))
      break;
  }
  salvage.complete = status == Z_STREAM_END;
  inflateEnd(&stream);
  return salvage;
}

}  // namespace pdf::document
