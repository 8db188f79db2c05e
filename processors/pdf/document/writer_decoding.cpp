#include "processors/pdf/document/writer_decoding.h"

#include "processors/pdf/document/decode_limit.h"
#include "processors/pdf/document/reachable_objects.h"

namespace pdf::document {

void CheckWriterDecoding(QPDF& pdf, const WriterDecoding& decoding, DecodeBudget& budget,
                         const std::string& label) {
  std::set<QPDFObjGen> seen;
  ForEachReachableStream(
      pdf.getTrailer(), {}, seen,
      [&](QPDFObjectHandle stream, const std::string&, const std::string&) {
        QPDFObjectHandle dictionary = stream.getDict();
        // Without a filter the writer reads the bytes the file holds, which its size bounds;
        // a stream made by this program (a stamp's form) is checked where it is made.
        if (dictionary.getKey("/Filter").isNull())
          return;
        qpdf_stream_decode_level_e level = decoding.level;
        if (dictionary.getKey("/Type").isNameAndEquals("/Metadata")) {
          level = qpdf_dl_all;
        } else if (decoding.compressStreams && !decoding.recompressFlate) {
          QPDFObjectHandle filter = dictionary.getKey("/Filter");
          if (filter.isNameAndEquals("/FlateDecode") || filter.isNameAndEquals("/Fl")) {
            // Page content, forms and fonts are decoded once to see that they decode; images,
            // most of a file's bytes, are copied unread.
            if (!dictionary.getKey("/Subtype").isNameAndEquals("/Image"))
              CheckDecodesWhole(stream, level, budget, label);
            return;
          }
        }
        if (DecodableAt(stream, level))
          CheckDecodedSize(stream, level, budget, label);
      });
}

}  // namespace pdf::document
