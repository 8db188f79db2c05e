// Small PDFs built to attack the PDF processors, for the tests and bench/pdf-hostile: each
// is a few kilobytes on disk and expands (pages, decoded bytes, pixels, output bytes) or
// carries damage only when read. Written as raw PDF text with a correct cross-reference
// table, so that the damage is exactly the one intended. Plain functions; nothing is shared.
#pragma once

#include <string>
#include <vector>

namespace pdf::samples {

// One kind of hostile document, by name, for the bench's generator and the tests.
struct HostilePdf {
  std::string name;         // "page-tree-bomb", ...
  std::string description;  // one line: what it attacks
  std::string content;      // the whole file
};

// A page tree of `nodes` inner nodes that share one /Kids array listing one page object
// `listings` times: nodes x listings pages (qpdf makes a copy of the page for each) from a
// file of about 12 x (nodes + listings) bytes, under a /Count that claims 1.
std::string PageTreeBombPdf(int nodes, int listings);
// A page tree whose second level lists the root again.
std::string PageTreeLoopPdf();
// One page whose content stream is a text string of `decodedBytes` letters, Flate-compressed
// (about a thousandth of the size on disk).
std::string InflatingContentPdf(long long decodedBytes);
// One page showing an image XObject that declares `width` x `height` grey pixels but holds a
// few hundred bytes; drawn `draws` times, directly or (`throughForm`) through a form XObject.
std::string HugeImagePdf(long long width, long long height, int draws, bool throughForm);
// One page whose content holds an inline image declaring `width` x `height` pixels.
std::string HugeInlineImagePdf(long long width, long long height);
// `pages` pages, each carrying `bytesPerPage` incompressible bytes in its content stream,
// Flate-compressed (so that writers copy it as it is) or (`compressed` false) unfiltered
// (so that writers compress it).
std::string HeavyPagesPdf(int pages, long long bytesPerPage, bool compressed = true);
// Three pages; the second page's content stream declares a /Length 40 bytes short, so that
// qpdf cannot read it and replaces it by null.
std::string WrongStreamLengthPdf();
// One page ("Page 1") and an object 6 whose cross-reference entry points at offset 0, where
// no object is (qpdf: "object has offset 0"); with `referenced`, the catalog refers to it
// (/Extra 6 0 R), else nothing does, as in files whose writer left a stale entry behind.
std::string ObjectAtOffsetZeroPdf(bool referenced);
// One page ("Page 1") whose content marks its text with a property dictionary holding a
// number where a key belongs (<< /ActualText (x) 1 2 >>), as some TeX packages write it, and
// whose resources hold a graphics state the content does not use (/GS9).
std::string MalformedMarkedContentPdf();
// One page ("Page 1") whose resources list `forms` forms (a filled square each) of which its
// content draws one, as a tool that gives every page the resources of the whole document.
std::string CrowdedResourcesPdf(int forms);
// Three pages whose page tree lists the second page object twice (qpdf copies it and warns,
// losing nothing): four pages.
std::string RepeatedPageObjectPdf();
// A document whose page tree holds no page.
std::string NoPagesPdf();
// Page trees that readers forgive though they break the usual shape: the catalog's /Pages is
// the page itself; the page carries /Kids []; the page's dictionary, or an inner node's
// holding it, is written inside its parent's /Kids array.
enum class PageTreeShape { kPageAsRoot, kPageWithEmptyKids, kPageInsideKids, kNodeInsideKids };
// Two pages ("Page 1" in the shape given, then "Page 2" as usual), or one for kPageAsRoot.
std::string PageTreeShapePdf(PageTreeShape shape);
// Form field trees that form writers get wrong: the widget listed by no field, a direct
// dictionary or a /Fields that is no array, a field whose /Kids lists itself, a /DA or an
// appearance stream that does not parse.
enum class FormFault {
  kWidgetNotListed,
  kDirectField,
  kFieldsNotArray,
  kFieldLoop,
  kBadDefaultAppearance,
  kBadAppearanceStream
};
// One page ("Page 1") holding one text field whose value and appearance are "Alice", with
// `fault`.
std::string FormFaultPdf(FormFault fault);
// One page that the trailer's /Info also names: qpdf cannot linearize it.
std::string LinearizationTrapPdf();
// One page whose MediaBox holds `box` (four numbers as PDF text, e.g. "0 0 1e999 1").
std::string MediaBoxPdf(const std::string& box);

// Structures a file multiplies (hostile_structure_pdf.cpp):

// One page whose catalog's XMP packet (Flate-compressed) is `packet`.
std::string XmpPacketPdf(const std::string& packet);
// An XMP packet of three levels whose rdf:Description carries `count` attributes, or
// (`namespaces`) `count` namespace declarations, besides a dc:title.
std::string XmpMarkupBombPacket(int count, bool namespaces);
// `names` attachment names pointing at one embedded file that inflates to `decodedBytes`.
std::string SharedAttachmentPdf(int names, long long decodedBytes);
// `count` attachments of a few bytes each, named f00000, f00001, ...
std::string ManyAttachmentsPdf(int count);
// `bookmarks` bookmarks, each leading to the page through a named destination of a /Dests
// name tree that is a chain of `chainNodes` nodes (a lookup walks all of them).
std::string DestinationChainPdf(int chainNodes, int bookmarks);
// One page whose annotation list names one square annotation (with an appearance) `listings`
// times.
std::string RepeatedAnnotationPdf(int listings);
// One page drawing form 0, form i drawing form i + 1 `fanOut` times, form `depth` showing a
// line of text: the text is drawn fanOut^depth times from a file of about a kilobyte.
std::string FormChainPdf(int depth, int fanOut);
// `pages` pages whose content streams (one shared stream body, written once per page) inflate
// to `decodedBytes` each: through one Flate filter, or (`twice`) two, which keeps the file a
// few kilobytes.
std::string InflatingPagesPdf(int pages, long long decodedBytes, bool twice);
// One page and `streams` small streams besides, each declaring a /Length shorter than its
// data: qpdf recovers each one, with a warning for each step.
std::string WrongLengthStreamsPdf(int streams);
// One page and `objects` objects besides (each the number 0, nothing refers to them), held
// in Flate-compressed object streams with a cross-reference stream: 2 million fit in a few
// megabytes.
std::string ManyObjectsPdf(int objects);

// Content that misleads (hostile_content_pdf.cpp):

// A way a page's content can hide what is drawn after it: its name and what the page's
// content ends with.
struct HidingTrick {
  std::string name;     // "empty-clip", ...
  std::string content;  // appended to the page's content
};
// A stray Q then an empty clip; a string left open; a stray Q then invisible text; a stray
// Q then a transformation that shrinks everything to nothing.
const std::vector<HidingTrick>& HidingTricks();
// One page showing "Page 1" whose content ends with `trick`.
std::string HidingPagePdf(const HidingTrick& trick);
// One page whose Flate content stream (2,000 lines "Line 1" to "Line 2000") breaks off
// with an error three quarters of the way through (a block of zlib's reserved type).
std::string DamagedContentPdf();
// One page with a square annotation whose appearance's /BBox is 1e-21 points wide and high.
std::string TinyBoxAnnotationPdf();

enum class ImageCoding { kJbig2, kJpx, kJpeg };
// Image data of the coding whose own header declares `width` x `height` pixels: a JBIG2 page
// information segment, a JPEG 2000 codestream's SIZ marker, a JPEG frame header.
std::string LyingImageData(ImageCoding coding, long long width, long long height);
// One page drawing an image whose dictionary says 10 x 10 pixels while its data (as
// LyingImageData) declares `width` x `height`.
std::string LyingImagePdf(ImageCoding coding, long long width, long long height);
// One page whose document information title holds U+FFFF, its author a lone surrogate, and
// whose one bookmark's title holds U+FFFE: characters XML cannot carry.
std::string XmlForbiddenTextPdf();
// One page with an XMP packet of `bytes` bytes (mostly padding), Flate-compressed.
std::string LargeXmpPdf(long long bytes);
// A 16 x 16 grey JPEG without its quantisation tables or (`huffman` false) its Huffman
// tables; with both true it is whole.
std::string JpegWithoutTables(bool quantisation, bool huffman);

// Every kind above with the parameters bench/pdf-hostile uses.
std::vector<HostilePdf> HostileSet();

// Damaged copies of a real PDF `content` named `name`: bytes flipped at places chosen by
// `seed`, the file cut in half, stream lengths made wrong, a block of zeros in the middle.
std::vector<HostilePdf> MutatedCopies(const std::string& name, const std::string& content,
                                      unsigned seed);

}  // namespace pdf::samples
