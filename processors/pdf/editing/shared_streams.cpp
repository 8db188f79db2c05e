#include "processors/pdf/editing/shared_streams.h"

#include <functional>
#include <map>
#include <set>
#include <vector>

#include "processors/pdf/document/reachable_objects.h"

namespace pdf::editing {

namespace {

// What makes two streams interchangeable: the dictionary without its length, and the bytes.
std::string Identity(QPDFObjectHandle stream, std::string& bytes) {
  QPDFObjectHandle dictionary = stream.getDict().shallowCopy();
  dictionary.removeKey("/Length");
  std::shared_ptr<Buffer> raw = stream.getRawStreamData();
  bytes.assign(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize());
  return dictionary.unparse();
}

// Replaces, in `container` and the direct objects inside it, every indirect reference found
// in `replacement`.
void Redirect(QPDFObjectHandle container,
              const std::map<QPDFObjGen, QPDFObjectHandle>& replacement) {
  std::vector<QPDFObjectHandle> pending{container};
  while (!pending.empty()) {
    QPDFObjectHandle object = pending.back();
    pending.pop_back();
    if (object.isStream())
      object = object.getDict();
    auto visit = [&](QPDFObjectHandle value, const std::function<void(QPDFObjectHandle)>& set) {
      if (value.isIndirect()) {
        auto found = replacement.find(value.getObjGen());
        if (found != replacement.end())
          set(found->second);
      } else if (value.isDictionary() || value.isArray()) {
        pending.push_back(value);
      }
    };
    if (object.isDictionary()) {
      for (const std::string& key : object.getKeys())
        visit(object.getKey(key), [&](QPDFObjectHandle to) { object.replaceKey(key, to); });
    } else if (object.isArray()) {
      int count = object.getArrayNItems();
      for (int i = 0; i < count; ++i)
        visit(object.getArrayItem(i), [&](QPDFObjectHandle to) { object.setArrayItem(i, to); });
    }
  }
}

}  // namespace

int ShareIdenticalStreams(QPDF& pdf) {
  std::vector<QPDFObjectHandle> streams;
  std::set<QPDFObjGen> seen;
  document::ForEachReachableStream(
      pdf.getTrailer(), {}, seen,
      [&](QPDFObjectHandle stream, const std::string&, const std::string&) {
        if (stream.isIndirect())
          streams.push_back(stream);
      });
  // Streams are grouped by their stored length first, so that only candidates are read.
  std::map<std::size_t, std::vector<QPDFObjectHandle>> byLength;
  for (QPDFObjectHandle& stream : streams) {
    QPDFObjectHandle length = stream.getDict().getKey("/Length");
    std::size_t key = length.isInteger() ? static_cast<std::size_t>(length.getIntValue()) : 0;
    byLength[key].push_back(stream);
  }
  std::map<QPDFObjGen, QPDFObjectHandle> replacement;
  for (auto& [length, group] : byLength) {
    if (group.size() < 2)
      continue;
    std::map<std::pair<std::string, std::string>, QPDFObjectHandle> first;
    for (QPDFObjectHandle& stream : group) {
      std::string bytes;
      std::string dictionary = Identity(stream, bytes);
      auto [known, added] = first.emplace(std::make_pair(dictionary, std::move(bytes)), stream);
      if (!added)
        replacement.emplace(stream.getObjGen(), known->second);
    }
  }
  if (replacement.empty())
    return 0;
  Redirect(pdf.getTrailer(), replacement);
  for (QPDFObjectHandle& object : pdf.getAllObjects())
    Redirect(object, replacement);
  return static_cast<int>(replacement.size());
}

}  // namespace pdf::editing
