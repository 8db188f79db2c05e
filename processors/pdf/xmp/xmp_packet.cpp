#include "processors/pdf/xmp/xmp_packet.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <memory>

#include "processors/pdf/text/pdf_error.h"
#include "processors/pdf/xmp/markup_count.h"

namespace pdf::xmp {

namespace {

const char* const kRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
const char* const kDc = "http://purl.org/dc/elements/1.1/";
const char* const kXmp = "http://ns.adobe.com/xap/1.0/";
const char* const kPdf = "http://ns.adobe.com/pdf/1.3/";
const char* const kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

enum class Shape { kText, kAlternative, kSequence, kBag };

struct Property {
  const char* answerName;
  const char* ns;
  const char* prefix;  // used when the packet has not bound the namespace
  const char* name;
  Shape shape;
};

const Property kProperties[] = {
    {"title", kDc, "dc", "title", Shape::kAlternative},
    {"creator", kDc, "dc", "creator", Shape::kSequence},
    {"description", kDc, "dc", "description", Shape::kAlternative},
    {"subject", kDc, "dc", "subject", Shape::kBag},
    {"keywords", kPdf, "pdf", "Keywords", Shape::kText},
    {"creatorTool", kXmp, "xmp", "CreatorTool", Shape::kText},
    {"producer", kPdf, "pdf", "Producer", Shape::kText},
    {"createDate", kXmp, "xmp", "CreateDate", Shape::kText},
    {"modifyDate", kXmp, "xmp", "ModifyDate", Shape::kText},
    {"metadataDate", kXmp, "xmp", "MetadataDate", Shape::kText},
};

const Property& PropertyNamed(const std::string& answerName) {
  for (const Property& property : kProperties)
    if (answerName == property.answerName)
      return property;
  throw PdfError("unknown XMP property " + answerName);
}

// The document information entries and the properties that hold the same facts.
const std::map<std::string, std::vector<std::string>>& InfoCounterparts() {
  static const std::map<std::string, std::vector<std::string>> counterparts = {
      {"Title", {"title"}},
      {"Author", {"creator"}},
      {"Subject", {"description"}},
      {"Keywords", {"keywords", "subject"}},
      {"Creator", {"creatorTool"}},
      {"Producer", {"producer"}},
      {"CreationDate", {"createDate"}},
      {"ModDate", {"modifyDate"}},
  };
  return counterparts;
}

const xmlChar* X(const char* text) {
  return reinterpret_cast<const xmlChar*>(text);
}

std::string Text(const xmlChar* text) {
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

bool Is(const xmlNode* node, const char* ns, const char* name) {
  return node != nullptr && node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
         xmlStrcmp(node->ns->href, X(ns)) == 0 && xmlStrcmp(node->name, X(name)) == 0;
}

bool IsAttribute(const xmlAttr* attribute, const char* ns, const char* name) {
  return attribute->ns != nullptr && xmlStrcmp(attribute->ns->href, X(ns)) == 0 &&
         xmlStrcmp(attribute->name, X(name)) == 0;
}

struct DocumentFree {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using Document = std::unique_ptr<xmlDoc, DocumentFree>;

Document Parse(const std::string& packet) {
  if (static_cast<long long>(packet.size()) > kMaxXmpBytes)
    throw PdfError("its XMP metadata holds more than " + std::to_string(kMaxXmpBytes) +
                   " bytes (at most " + std::to_string(kMaxXmpBytes) + ")");
  // UTF-16 and UTF-32 text holds zero bytes; only UTF-8 is read, so that the checks below see
  // the text as the parser will.
  if (packet.find('\0') != std::string::npos)
    throw PdfError("its XMP metadata is not UTF-8 text");
  // Entity definitions are the way to make a small packet expand; XMP needs none.
  if (packet.find("<!DOCTYPE") != std::string::npos || packet.find("<!ENTITY") != std::string::npos)
    throw PdfError("its XMP metadata holds a document type declaration, which is refused");
  MarkupCount markup = CountMarkup(packet);
  if (markup.mostAttributes > kMaxXmpAttributes)
    throw PdfError("its XMP metadata holds an element of more than " +
                   std::to_string(kMaxXmpAttributes) + " attributes (at most " +
                   std::to_string(kMaxXmpAttributes) + ")");
  if (markup.namespaces > kMaxXmpNamespaces)
    throw PdfError("its XMP metadata holds more than " + std::to_string(kMaxXmpNamespaces) +
                   " namespace declarations (at most " + std::to_string(kMaxXmpNamespaces) + ")");
  static const bool initialised = [] {
    xmlInitParser();
    return true;
  }();
  (void)initialised;
  // Without XML_PARSE_HUGE libxml2 refuses elements nested deeper than 256 levels.
  std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxt*)> context(xmlNewParserCtxt(),
                                                                   &xmlFreeParserCtxt);
  if (!context)
    throw std::bad_alloc();
  Document document(xmlCtxtReadMemory(
      context.get(), packet.data(), static_cast<int>(packet.size()), "xmp", "UTF-8",
      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA));
  // XMP is XML with namespaces: a prefix that is never declared (or one holding a colon)
  // leaves names that a later declaration, or another reader, would take differently.
  if (!document || !context->nsWellFormed) {
    const xmlError* error = xmlCtxtGetLastError(context.get());
    std::string reason = error != nullptr && error->message != nullptr ? error->message : "";
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' '))
      reason.pop_back();
    throw PdfError("its XMP metadata is not well-formed XML" +
                   (reason.empty() ? std::string() : " (" + reason + ")"));
  }
  if (document->intSubset != nullptr || document->extSubset != nullptr)
    throw PdfError("its XMP metadata holds a document type declaration, which is refused");
  return document;
}

// The first rdf:RDF element, found without recursion.
xmlNode* FindRdf(xmlDoc* document) {
  std::vector<xmlNode*> pending;
  for (xmlNode* node = document->children; node != nullptr; node = node->next)
    pending.push_back(node);
  while (!pending.empty()) {
    xmlNode* node = pending.back();
    pending.pop_back();
    if (Is(node, kRdf, "RDF"))
      return node;
    if (node->type == XML_ELEMENT_NODE)
      for (xmlNode* child = node->children; child != nullptr; child = child->next)
        pending.push_back(child);
  }
  return nullptr;
}

std::vector<xmlNode*> Descriptions(xmlNode* rdf) {
  std::vector<xmlNode*> descriptions;
  for (xmlNode* child = rdf->children; child != nullptr; child = child->next)
    if (Is(child, kRdf, "Description"))
      descriptions.push_back(child);
  return descriptions;
}

std::string Content(xmlNode* node) {
  xmlChar* text = xmlNodeGetContent(node);
  std::string result = Text(text);
  xmlFree(text);
  return result;
}

// The value of a property element: its text, or the entries of its container.
std::string ElementValue(xmlNode* element) {
  for (xmlNode* child = element->children; child != nullptr; child = child->next) {
    if (child->type != XML_ELEMENT_NODE)
      continue;
    bool alternative = Is(child, kRdf, "Alt");
    if (!alternative && !Is(child, kRdf, "Seq") && !Is(child, kRdf, "Bag"))
      continue;
    std::vector<std::string> items;
    std::optional<std::string> preferred;
    for (xmlNode* item = child->children; item != nullptr; item = item->next) {
      if (!Is(item, kRdf, "li"))
        continue;
      std::string value = Content(item);
      xmlChar* language = xmlGetNsProp(item, X("lang"), X(kXmlNamespace));
      if (alternative && language != nullptr && xmlStrcmp(language, X("x-default")) == 0)
        preferred = value;
      xmlFree(language);
      items.push_back(value);
    }
    if (alternative)
      return preferred ? *preferred : (items.empty() ? "" : items.front());
    std::string joined;
    for (const std::string& item : items)
      joined += (joined.empty() ? "" : "; ") + item;
    return joined;
  }
  return Content(element);
}

std::optional<std::string> PropertyValue(const std::vector<xmlNode*>& descriptions,
                                         const Property& property) {
  for (xmlNode* description : descriptions) {
    for (xmlAttr* attribute = description->properties; attribute != nullptr;
         attribute = attribute->next)
      if (IsAttribute(attribute, property.ns, property.name)) {
        xmlChar* value = xmlNodeListGetString(description->doc, attribute->children, 1);
        std::string result = Text(value);
        xmlFree(value);
        return result;
      }
    for (xmlNode* child = description->children; child != nullptr; child = child->next)
      if (Is(child, property.ns, property.name))
        return ElementValue(child);
  }
  return std::nullopt;
}

void RemoveProperty(const std::vector<xmlNode*>& descriptions, const Property& property) {
  for (xmlNode* description : descriptions) {
    for (xmlAttr* attribute = description->properties; attribute != nullptr;) {
      xmlAttr* next = attribute->next;
      if (IsAttribute(attribute, property.ns, property.name))
        xmlRemoveProp(attribute);
      attribute = next;
    }
    for (xmlNode* child = description->children; child != nullptr;) {
      xmlNode* next = child->next;
      if (Is(child, property.ns, property.name)) {
        xmlUnlinkNode(child);
        xmlFreeNode(child);
      }
      child = next;
    }
  }
}

// The namespace `href` as seen from `element`, declared there (under `prefix`, or a numbered
// variant where the packet uses that prefix for something else) when it is not in scope.
xmlNs* NamespaceFor(xmlNode* element, const char* href, const char* prefix) {
  if (xmlNs* known = xmlSearchNsByHref(element->doc, element, X(href)))
    return known;
  std::string name = prefix;
  for (int suffix = 1; xmlSearchNs(element->doc, element, X(name.c_str())) != nullptr; ++suffix)
    name = std::string(prefix) + std::to_string(suffix);
  return xmlNewNs(element, X(href), X(name.c_str()));
}

std::vector<std::string> KeywordItems(const std::string& keywords) {
  std::vector<std::string> items;
  std::string current;
  auto flush = [&] {
    std::size_t first = current.find_first_not_of(" \t");
    if (first != std::string::npos)
      items.push_back(current.substr(first, current.find_last_not_of(" \t") - first + 1));
    current.clear();
  };
  for (char c : keywords) {
    if (c == ',' || c == ';')
      flush();
    else
      current += c;
  }
  flush();
  return items;
}

void AddProperty(xmlNode* description, const Property& property, const std::string& value) {
  xmlNs* ns = NamespaceFor(description, property.ns, property.prefix);
  xmlNode* element = xmlNewChild(description, ns, X(property.name), nullptr);
  if (property.shape == Shape::kText) {
    xmlNodeAddContent(element, X(value.c_str()));
    return;
  }
  xmlNs* rdf = NamespaceFor(description, kRdf, "rdf");
  const char* containerName = property.shape == Shape::kAlternative ? "Alt"
                              : property.shape == Shape::kSequence  ? "Seq"
                                                                    : "Bag";
  xmlNode* container = xmlNewChild(element, rdf, X(containerName), nullptr);
  std::vector<std::string> items =
      property.shape == Shape::kBag ? KeywordItems(value) : std::vector<std::string>{value};
  for (const std::string& item : items) {
    xmlNode* li = xmlNewChild(container, rdf, X("li"), nullptr);
    xmlNodeAddContent(li, X(item.c_str()));
    if (property.shape == Shape::kAlternative) {
      xmlNs* xml = xmlSearchNs(description->doc, li, X("xml"));
      xmlSetNsProp(li, xml, X("lang"), X("x-default"));
    }
  }
}

xmlNode* RdfOf(xmlDoc* document) {
  xmlNode* rdf = FindRdf(document);
  if (rdf == nullptr)
    throw PdfError("its XMP metadata has no rdf:RDF element");
  return rdf;
}

// Throws PdfError unless `written` reads back as a packet holding the new values.
void CheckWritten(const std::string& written,
                  const std::map<std::string, std::optional<std::string>>& changes);

}  // namespace

std::vector<std::pair<std::string, std::string>> ReadXmpProperties(const std::string& packet) {
  Document document = Parse(packet);
  std::vector<xmlNode*> descriptions = Descriptions(RdfOf(document.get()));
  std::vector<std::pair<std::string, std::string>> result;
  for (const Property& property : kProperties)
    if (std::optional<std::string> value = PropertyValue(descriptions, property))
      result.emplace_back(property.answerName, *value);
  return result;
}

std::string UpdateXmp(const std::string& packet,
                      const std::map<std::string, std::optional<std::string>>& changes) {
  Document document = Parse(packet);
  xmlNode* rdf = RdfOf(document.get());
  std::vector<xmlNode*> descriptions = Descriptions(rdf);
  if (descriptions.empty()) {
    xmlNode* description =
        xmlNewChild(rdf, NamespaceFor(rdf, kRdf, "rdf"), X("Description"), nullptr);
    xmlSetNsProp(description, NamespaceFor(rdf, kRdf, "rdf"), X("about"), X(""));
    descriptions.push_back(description);
  }
  for (const auto& [key, value] : changes) {
    auto counterparts = InfoCounterparts().find(key);
    if (counterparts == InfoCounterparts().end())
      throw PdfError("no XMP property holds the document information entry " + key);
    for (const std::string& name : counterparts->second) {
      const Property& property = PropertyNamed(name);
      RemoveProperty(descriptions, property);
      if (value && !value->empty())
        AddProperty(descriptions.front(), property, *value);
    }
  }
  xmlBuffer* buffer = xmlBufferCreate();
  xmlSaveCtxt* save = xmlSaveToBuffer(buffer, "UTF-8", XML_SAVE_NO_DECL);
  long written = save == nullptr ? -1 : xmlSaveDoc(save, document.get());
  if (save != nullptr)
    xmlSaveClose(save);
  std::string result = written < 0 ? "" : Text(xmlBufferContent(buffer));
  xmlBufferFree(buffer);
  if (written < 0)
    throw PdfError("its XMP metadata cannot be written back");
  CheckWritten(result, changes);
  return result;
}

namespace {

void CheckWritten(const std::string& written,
                  const std::map<std::string, std::optional<std::string>>& changes) {
  std::vector<std::pair<std::string, std::string>> read;
  try {
    read = ReadXmpProperties(written);
  } catch (const PdfError& e) {
    throw PdfError("its XMP metadata would not read back as XML once written (" +
                   std::string(e.what()) + ")");
  }
  std::map<std::string, std::string> values(read.begin(), read.end());
  for (const auto& [key, value] : changes) {
    for (const std::string& name : InfoCounterparts().at(key)) {
      // dc:subject holds the keywords split into entries; pdf:Keywords holds them whole.
      if (name == "subject")
        continue;
      auto found = values.find(name);
      bool set = value && !value->empty();
      if (set != (found != values.end()) || (set && found->second != *value))
        throw PdfError("its XMP metadata would not hold the new " + key + " as given once written");
    }
  }
}

}  // namespace

}  // namespace pdf::xmp
