// The configuration the ntr-server serves: a tree of folders and typed values read from an
// XML file whose root element is <configuration>. Nested elements are folders, leaf
// elements values; a leaf's attribute `type` is "string" (the default), "url", "int" or
// "bool". Leading and trailing blanks of a value are dropped; comments are ignored.
//
// Keys are "/"-separated paths below the root; one leading "/" is ignored, a trailing "/"
// asks for a folder, and "" (or "/") names the root. The store is filled once and only read
// afterwards, so any number of threads may read it at once.
#pragma once

#include <string>
#include <string_view>

#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_list.h"
#include "platform/kqtypes/kq_tree.h"

class ConfigStore {
 public:
  // Parses the XML text; `source` names it in messages. Throws std::runtime_error with
  // "<source>:<line>: <cause>" for malformed XML, "<source>: <cause>" naming the key for a
  // wrong root, an unknown type or attribute, a value that does not fit its type, or a
  // name given twice in one folder.
  static ConfigStore FromXml(std::string_view text, const std::string& source);
  // Reads and parses a file; throws std::runtime_error as FromXml, or naming the file and
  // the cause when it cannot be read.
  static ConfigStore FromFile(const std::string& path);

  // The value at `key`: a folder as a KQ_TTree of its entries, a leaf as its typed value.
  // Throws NTR_EIllegalPath for a key with an empty part ("A//B"), NTR_EValueNotSet when
  // nothing is there or a folder is asked of a value.
  KQ_TAny Get(std::string_view key) const;

  // The names directly in the folder `key`, in document order. Throws as Get, and
  // NTR_EValueNotSet when `key` names a value.
  KQ_TList KeysAt(std::string_view key) const;

 private:
  const KQ_TTree* FolderAt(std::string_view key, bool& wantsFolder, std::string& leaf) const;

  KQ_TTree root_;
};
