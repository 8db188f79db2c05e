// The size compressed image data declares in its own header, which is what a decoder
// allocates and fills whatever the PDF dictionary around it says: a JBIG2 stream's page
// information segment, a JPEG 2000 codestream's SIZ marker (in a JP2 file or bare), a JPEG
// frame header. Read from the first bytes of the data without decoding anything. Pure
// functions of the bytes.
#pragma once

#include <optional>
#include <string_view>

namespace pdf::image {

struct CodedSize {
  long long width = 0;
  long long height = 0;
};

// The filters whose data declares its own size.
enum class ImageCodec { kJbig2, kJpx, kJpeg };

// The size `data` (the start of the codec's data, as the stream holds it after any filters
// before this one) declares; nullopt when the header is missing, cut short or damaged (the
// decoder then fails without allocating by it). A JBIG2 page of unknown height (striped)
// has the largest end-of-stripe row found in `data`.
std::optional<CodedSize> DeclaredCodedSize(ImageCodec codec, std::string_view data);

}  // namespace pdf::image
