// RawPdf: a PDF written as text from object bodies, with a correct cross-reference table, so
// that the hostile samples hold exactly the structure (and the damage) intended and nothing a
// writer would repair. With the small helpers the samples build their objects from. Plain
// values; nothing is shared.
#pragma once

#include <string>
#include <vector>

namespace pdf::samples {

class RawPdf {
 public:
  // Adds an object body ("<< ... >>", or a dictionary followed by a stream) and returns its
  // number; object 1 must be the catalog.
  int Add(const std::string& body);
  void Set(int number, const std::string& body) { bodies_.at(number - 1) = body; }
  // An object number whose body is set later.
  int Reserve() { return Add(""); }
  // Entries added to the trailer dictionary.
  void Trailer(const std::string& entries) { trailer_ = entries; }

  // The whole file.
  std::string Text() const;

 private:
  std::vector<std::string> bodies_;
  std::string trailer_;
};

// "N 0 R".
std::string Ref(int number);

// A stream object body holding `data` as it is, with `extra` dictionary entries.
std::string Stream(const std::string& data, const std::string& extra = "");

// The Flate compression of `prefix`, `count` copies of `fill`, then `suffix`, made piecewise
// so that gigabytes need no buffer of their own.
std::string Deflated(const std::string& prefix, char fill, long long count,
                     const std::string& suffix);

// The Flate compression of `data`.
std::string Deflated(const std::string& data);

// Helvetica in WinAnsi encoding, as a font dictionary.
extern const char* const kHelvetica;

// A content stream showing `text` in /F1 near the top of a Letter page.
std::string TextContent(const std::string& text);

// One page showing "Page 1" (objects 1 to 5: catalog, page tree, page, Helvetica, content)
// whose catalog holds `catalogEntries` too and whose page dictionary `pageEntries`; the
// objects added next are numbered from 6.
RawPdf OnePage(const std::string& catalogEntries = "", const std::string& pageEntries = "");

// A catalog, a page tree and one page per content stream body (each with Helvetica as /F1
// and `resources` added to its resource dictionary).
std::string PagesWithContents(const std::vector<std::string>& contents,
                              const std::string& mediaBox = "0 0 612 792",
                              const std::string& resources = "");

}  // namespace pdf::samples
