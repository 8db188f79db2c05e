// Small office documents written from scratch for the tests, the benchmarks and the demo:
// the fewest parts of DOCX, XLSX, ODT and ODP that LibreOffice and Word open, in a ZIP whose
// entries are stored (not compressed), and one that inflates far beyond its size. Pure
// functions: each returns the file's bytes.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace pdf::samples {

// A ZIP archive of `entries` (name, content), stored, in the order given.
std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& entries);

// The same with every entry compressed (Deflate), for documents that inflate to far more
// than their size.
std::string DeflatedZip(const std::vector<std::pair<std::string, std::string>>& entries);

// A Word document of `paragraphs` one-letter paragraphs: about 1/1000 of their XML, which
// inflates to 36 bytes a paragraph.
std::string InflatingDocx(std::size_t paragraphs);

// A Word document of `pages` pages (a page break before each but the first), each holding
// the paragraphs given.
std::string SampleDocx(const std::vector<std::vector<std::string>>& pages);

// An Excel workbook of one sheet: rows of cells, a number where the text is one.
std::string SampleXlsx(const std::vector<std::vector<std::string>>& rows);

// An OpenDocument text whose body is `bodyXml` (text:p elements and the like; the prefixes
// office, text, draw, xlink, svg, script and table are declared), with `extraEntries` added
// to the archive and `manifestEntries` (manifest:file-entry elements) to its manifest, and
// `scriptsXml` as office:scripts (event listeners).
std::string SampleOdt(const std::string& bodyXml,
                      const std::vector<std::pair<std::string, std::string>>& extraEntries = {},
                      const std::string& manifestEntries = "", const std::string& scriptsXml = "");

// A text file of 400,000 lines, which LibreOffice takes many seconds to lay out.
std::string LongText();

// An OpenDocument text whose opening would run a Basic macro (an OnLoad event) that writes
// "ran" into the file `marker`, where macros may run; its one paragraph says "Harmless
// looking".
std::string MacroOdt(const std::string& marker);

// An OpenDocument text with two images linked, not embedded: `url` (http://...) and `file`
// (file://...); its paragraph says "Links".
std::string LinkingOdt(const std::string& url, const std::string& file);

// An OpenDocument presentation of one slide per text.
std::string SampleOdp(const std::vector<std::string>& slides);

}  // namespace pdf::samples
