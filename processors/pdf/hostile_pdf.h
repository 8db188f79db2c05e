// Small PDFs built to attack the PDF processors, for the tests and bench/pdf-hostile: each
// is a few kilobytes on disk and expands (pages, decoded bytes, pixels, output bytes) or
// carries damage only when read. Written as raw PDF text with a correct cross-reference
// table, so that the damage is exactly the one intended. Plain functions; nothing is shared.
#pragma once

#include <string>
#include <vector>

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
// Three pages whose page tree lists the second page object twice (qpdf copies it and warns,
// losing nothing): four pages.
std::string RepeatedPageObjectPdf();
// A document whose page tree holds no page.
std::string NoPagesPdf();
// One page that the trailer's /Info also names: qpdf cannot linearize it.
std::string LinearizationTrapPdf();
// One page whose MediaBox holds `box` (four numbers as PDF text, e.g. "0 0 1e999 1").
std::string MediaBoxPdf(const std::string& box);

// Every kind above with the parameters bench/pdf-hostile uses.
std::vector<HostilePdf> HostileSet();

// Damaged copies of a real PDF `content` named `name`: bytes flipped at places chosen by
// `seed`, the file cut in half, stream lengths made wrong, a block of zeros in the middle.
std::vector<HostilePdf> MutatedCopies(const std::string& name, const std::string& content,
                                      unsigned seed);
