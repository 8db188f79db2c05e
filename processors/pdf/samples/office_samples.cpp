#include "processors/pdf/samples/office_samples.h"

#include <zlib.h>

#include <cstdint>

namespace pdf::samples {
namespace {

void Put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '&')
      out += "&amp;";
    else
      out += c;
  }
  return out;
}

bool IsNumber(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789.-") == std::string::npos;
}

const char* kOdfNamespaces =
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
    "xmlns:presentation=\"urn:oasis:names:tc:opendocument:xmlns:presentation:1.0\" "
    "xmlns:script=\"urn:oasis:names:tc:opendocument:xmlns:script:1.0\" "
    "xmlns:dom=\"http://www.w3.org/2001/xml-events\" "
    "xmlns:xlink=\"http://www.w3.org/1999/xlink\" office:version=\"1.2\"";

std::string Manifest(const std::string& mimeType, const std::string& extra) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
         "manifest:version=\"1.2\">"
         "<manifest:file-entry manifest:full-path=\"/\" manifest:media-type=\"" +
         mimeType +
         "\"/>"
         "<manifest:file-entry manifest:full-path=\"content.xml\" "
         "manifest:media-type=\"text/xml\"/>" +
         extra + "</manifest:manifest>";
}

// Raw Deflate (no zlib header), as ZIP stores it.
std::string Deflated(const std::string& content) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(content.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  stream.avail_in = static_cast<uInt>(content.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string Zip(const std::vector<std::pair<std::string, std::string>>& entries, bool deflate) {
  std::string archive;
  std::string directory;
  for (const auto& [name, content] : entries) {
    std::uint32_t crc = static_cast<std::uint32_t>(crc32(
        0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
    std::uint32_t offset = static_cast<std::uint32_t>(archive.size());
    std::uint32_t size = static_cast<std::uint32_t>(content.size());
    // The mimetype entry of an OpenDocument file stays stored, as readers expect.
    bool compress = deflate && name != "mimetype";
    std::string data = compress ? Deflated(content) : content;
    std::uint32_t method = compress ? 8 : 0;
    std::uint32_t stored = static_cast<std::uint32_t>(data.size());
    std::uint32_t nameSize = static_cast<std::uint32_t>(name.size());
    Put32(archive, 0x04034b50);
    Put16(archive, 20);  // version needed
    Put16(archive, 0);   // flags
    Put16(archive, method);
    Put32(archive, 0);  // time and date
    Put32(archive, crc);
    Put32(archive, stored);
    Put32(archive, size);
    Put16(archive, nameSize);
    Put16(archive, 0);
    archive += name + data;
    Put32(directory, 0x02014b50);
    Put16(directory, 20);
    Put16(directory, 20);
    Put16(directory, 0);
    Put16(directory, method);
    Put32(directory, 0);
    Put32(directory, crc);
    Put32(directory, stored);
    Put32(directory, size);
    Put16(directory, nameSize);
    Put16(directory, 0);  // extra
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, 0);  // external attributes
    Put32(directory, offset);
    directory += name;
  }
  std::uint32_t directoryOffset = static_cast<std::uint32_t>(archive.size());
  archive += directory;
  Put32(archive, 0x06054b50);
  Put16(archive, 0);
  Put16(archive, 0);
  Put16(archive, static_cast<std::uint32_t>(entries.size()));
  Put16(archive, static_cast<std::uint32_t>(entries.size()));
  Put32(archive, static_cast<std::uint32_t>(directory.size()));
  Put32(archive, directoryOffset);
  Put16(archive, 0);
  return archive;
}

// An OOXML package's content types: XML and relationship parts by default, and the
// `overrides` (Override elements) naming the main parts.
std::string ContentTypes(const std::string& overrides) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>" +
         overrides + "</Types>";
}

// A relationships part with one relationship of `type` (the last word of its URI) to
// `target`.
std::string Relationship(const std::string& type, const std::string& target) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
         "relationships/" +
         type + "\" Target=\"" + target + "\"/></Relationships>";
}

}  // namespace

std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  return Zip(entries, false);
}

std::string DeflatedZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  return Zip(entries, true);
}

namespace {

// The parts of a Word document whose body is `body` (w:p elements).
std::vector<std::pair<std::string, std::string>> DocxParts(const std::string& body) {
  const std::string document =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
      "<w:body>" +
      body + "</w:body></w:document>";
  return {
      {"[Content_Types].xml",
       ContentTypes("<Override PartName=\"/word/document.xml\" ContentType=\"application/"
                    "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>")},
      {"_rels/.rels", Relationship("officeDocument", "word/document.xml")},
      {"word/document.xml", document},
  };
}

}  // namespace

std::string SampleDocx(const std::vector<std::vector<std::string>>& pages) {
  std::string body;
  for (std::size_t page = 0; page < pages.size(); ++page) {
    for (std::size_t i = 0; i < pages[page].size(); ++i) {
      body += "<w:p>";
      if (page > 0 && i == 0)
        body += "<w:r><w:br w:type=\"page\"/></w:r>";
      body += "<w:r><w:rPr><w:rFonts w:ascii=\"Calibri\" w:hAnsi=\"Calibri\"/></w:rPr><w:t>" +
              Escaped(pages[page][i]) + "</w:t></w:r></w:p>";
    }
  }
  return StoredZip(DocxParts(body));
}

std::string InflatingDocx(std::size_t paragraphs) {
  const std::string paragraph = "<w:p><w:r><w:t>a</w:t></w:r></w:p>";
  std::string body;
  body.reserve(paragraph.size() * paragraphs);
  for (std::size_t i = 0; i < paragraphs; ++i)
    body += paragraph;
  return DeflatedZip(DocxParts(body));
}

std::string SampleXlsx(const std::vector<std::vector<std::string>>& rows) {
  std::string data;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    data += "<row r=\"" + std::to_string(r + 1) + "\">";
    for (std::size_t c = 0; c < rows[r].size() && c < 26; ++c) {
      std::string reference = std::string(1, static_cast<char>('A' + c)) + std::to_string(r + 1);
      const std::string& value = rows[r][c];
      if (IsNumber(value))
        data += "<c r=\"" + reference + "\"><v>" + value + "</v></c>";
      else
        data +=
            "<c r=\"" + reference + "\" t=\"inlineStr\"><is><t>" + Escaped(value) + "</t></is></c>";
    }
    data += "</row>";
  }
  const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  const char* kRelations = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  return StoredZip({
      {"[Content_Types].xml",
       ContentTypes("<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
                    "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                    "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/"
                    "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>")},
      {"_rels/.rels", Relationship("officeDocument", "xl/workbook.xml")},
      {"xl/workbook.xml",
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
       "<workbook xmlns=\"" +
           std::string(kMain) + "\" xmlns:r=\"" + kRelations +
           "\"><sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/>"
           "</sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels", Relationship("worksheet", "worksheets/sheet1.xml")},
      {"xl/worksheets/sheet1.xml",
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
       "<worksheet xmlns=\"" +
           std::string(kMain) + "\"><sheetData>" + data + "</sheetData></worksheet>"},
  });
}

std::string SampleOdt(const std::string& bodyXml,
                      const std::vector<std::pair<std::string, std::string>>& extraEntries,
                      const std::string& manifestEntries, const std::string& scriptsXml) {
  const std::string mimeType = "application/vnd.oasis.opendocument.text";
  std::vector<std::pair<std::string, std::string>> entries{
      {"mimetype", mimeType},
      {"META-INF/manifest.xml", Manifest(mimeType, manifestEntries)},
      {"content.xml",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content " +
           std::string(kOdfNamespaces) + ">" +
           (scriptsXml.empty() ? "" : "<office:scripts>" + scriptsXml + "</office:scripts>") +
           "<office:body><office:text>" + bodyXml +
           "</office:text></office:body></office:document-content>"}};
  entries.insert(entries.end(), extraEntries.begin(), extraEntries.end());
  return StoredZip(entries);
}

std::string LongText() {
  std::string lines;
  for (int i = 0; i < 400000; ++i)
    lines += "A line of a text file so long that laying it out takes far more than a second\n";
  return lines;
}

std::string MacroOdt(const std::string& marker) {
  std::string module =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<script:module xmlns:script=\"http://openoffice.org/2000/script\" script:name=\"Module1\" "
      "script:language=\"StarBasic\">Sub Main\nOpen \"" +
      Escaped(marker) +
      "\" For Output As #1\nPrint #1, \"ran\"\nClose #1\nEnd Sub\n</script:module>";
  std::string libraries =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<library:libraries "
      "xmlns:library=\"http://openoffice.org/2000/library\" "
      "xmlns:xlink=\"http://www.w3.org/1999/xlink\">"
      "<library:library library:name=\"Standard\" library:link=\"false\"/></library:libraries>";
  std::string library =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<library:library "
      "xmlns:library=\"http://openoffice.org/2000/library\" library:name=\"Standard\" "
      "library:readonly=\"false\" library:passwordprotected=\"false\">"
      "<library:element library:name=\"Module1\"/></library:library>";
  std::string manifest;
  for (const char* part :
       {"Basic/script-lc.xml", "Basic/Standard/script-lb.xml", "Basic/Standard/Module1.xml"})
    manifest += std::string("<manifest:file-entry manifest:full-path=\"") + part +
                "\" manifest:media-type=\"text/xml\"/>";
  return SampleOdt("<text:p>Harmless looking</text:p>",
                   {{"Basic/script-lc.xml", libraries},
                    {"Basic/Standard/script-lb.xml", library},
                    {"Basic/Standard/Module1.xml", module}},
                   manifest,
                   "<office:event-listeners><script:event-listener script:language=\"ooo:script\" "
                   "script:event-name=\"dom:load\" xlink:type=\"simple\" "
                   "xlink:href=\"vnd.sun.star.script:Standard.Module1.Main?language=Basic&amp;"
                   "location=document\"/></office:event-listeners>");
}

std::string LinkingOdt(const std::string& url, const std::string& file) {
  auto image = [](const std::string& target) {
    return "<draw:frame svg:width=\"4cm\" svg:height=\"4cm\"><draw:image xlink:href=\"" +
           Escaped(target) + "\" xlink:type=\"simple\"/></draw:frame>";
  };
  return SampleOdt("<text:p>Links" + image(url) + image(file) + "</text:p>");
}

std::string SampleOdp(const std::vector<std::string>& slides) {
  std::string pages;
  for (std::size_t i = 0; i < slides.size(); ++i)
    pages += "<draw:page draw:name=\"page" + std::to_string(i + 1) +
             "\"><draw:frame svg:x=\"2cm\" svg:y=\"2cm\" svg:width=\"20cm\" svg:height=\"3cm\">"
             "<draw:text-box><text:p>" +
             Escaped(slides[i]) + "</text:p></draw:text-box></draw:frame></draw:page>";
  const std::string mimeType = "application/vnd.oasis.opendocument.presentation";
  return StoredZip(
      {{"mimetype", mimeType},
       {"META-INF/manifest.xml", Manifest(mimeType, "")},
       {"content.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content " +
                           std::string(kOdfNamespaces) + "><office:body><office:presentation>" +
                           pages +
                           "</office:presentation></office:body></office:document-content>"}});
}

}  // namespace pdf::samples
