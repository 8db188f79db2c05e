// PDFs with the document features the flatten, metadata, attachment and bookmark operations
// work on (form fields, annotations, XMP packets, embedded files, outlines), made with libqpdf
// in a folder the test owns, hostile variants included.
#pragma once

#include <string>

namespace vtps_test {

// Writes into `folder`:
//   form.pdf            1 page; a text field "name" = "Hello form" without an appearance (the
//                       form asks for appearances), a square annotation whose appearance
//                       shows "NOTE", a link annotation without an appearance
//   xmp.pdf             1 page; Title "Old title", Author "Ann"; an XMP packet saying the same
//                       (dc:title, dc:creator) with pdf:Producer "Maker" as an attribute
//   xmp-entities.pdf    1 page; an XMP packet with entity definitions that expand
//   xmp-deep.pdf        1 page; an XMP packet nested 10,000 elements deep
//   attached.pdf        1 page; attachments "notes" (notes.txt, "hello notes", described
//                       "The notes"), "evil" (file name "../../evil.txt", "evil"), "again"
//                       (notes.txt, "second notes")
//   outline.pdf         3 pages; bookmarks "Chapter 1" (page 1) holding "Section 1.1" (page 2,
//                       by a GoTo action), "Chapter 2" (page 3, by a named destination)
//   outline-loop.pdf    3 pages; two bookmarks, the second's /Next pointing back at the first
//   outline-deep.pdf    1 page; bookmarks nested 100 levels deep
void MakeFeaturePdfs(const std::string& folder);

}  // namespace vtps_test
