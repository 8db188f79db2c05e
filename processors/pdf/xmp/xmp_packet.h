// XMP packets (a document's XML metadata) read and updated with libxml2, bounded against
// hostile packets: at most kMaxXmpBytes, UTF-8 only, no document type declaration (so no
// entity definitions and nothing fetched), no network, libxml2's own nesting limit, at most
// kMaxXmpAttributes attributes on one element and kMaxXmpNamespaces namespace declarations
// (counted before parsing: libxml2 takes quadratic time over more), and every walk over the
// tree iterative. A packet is written only once it has been read back and found to hold what
// was written. The main properties are read and written where the document
// information dictionary has a counterpart, so that the two can be kept in agreement. Pure
// functions of their arguments; libxml2 is initialised on first use (use from one thread).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pdf::xmp {

constexpr long long kMaxXmpBytes = 4LL << 20;
constexpr long long kMaxXmpAttributes = 10000;
constexpr long long kMaxXmpNamespaces = 10000;

// The main properties of `packet`, in a fixed order, as present: "title", "creator",
// "description", "subject", "keywords", "creatorTool", "producer", "createDate",
// "modifyDate", "metadataDate". A language alternative gives its default (or first)
// entry, a list its entries joined with "; ". Throws PdfError with the reason (without a
// file name) when the packet is refused: too large, not UTF-8, a document type declaration,
// too many attributes on an element or namespace declarations, not well-formed XML, or no
// rdf:RDF element.
std::vector<std::pair<std::string, std::string>> ReadXmpProperties(const std::string& packet);

// `packet` with the XMP counterparts of the document information entries in `changes`
// (keys "Title", "Author", "Subject", "Keywords", "Creator", "Producer", "CreationDate",
// "ModDate"; dates as ISO 8601) replaced, or removed where the value is nullopt. Every
// earlier form of each property (element or attribute, in any rdf:Description) goes first.
// Keywords also become dc:subject's entries (split at "," and ";"). The packet written is
// read again: throws PdfError as ReadXmpProperties does, and when the packet written does not
// read back as XML holding the new values (a value XML cannot carry).
std::string UpdateXmp(const std::string& packet,
                      const std::map<std::string, std::optional<std::string>>& changes);

}  // namespace pdf::xmp
