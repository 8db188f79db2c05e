#include "processors/pdf/document/reachable_objects.h"

#include <vector>

namespace pdf::document {

namespace {

struct Pending {
  QPDFObjectHandle object;
  std::string key;
  std::string parentKey;
};

}  // namespace

void ForEachReachableStream(
    QPDFObjectHandle start, const std::set<std::string>& skipKeys, std::set<QPDFObjGen>& seen,
    const std::function<void(QPDFObjectHandle stream, const std::string& key,
                             const std::string& parentKey)>& visit) {
  std::vector<Pending> pending{{start, "", ""}};
  while (!pending.empty()) {
    Pending next = std::move(pending.back());
    pending.pop_back();
    QPDFObjectHandle object = next.object;
    if (object.isIndirect() && !seen.insert(object.getObjGen()).second)
      continue;
    if (object.isStream()) {
      visit(object, next.key, next.parentKey);
      object = object.getDict();
    }
    if (object.isDictionary()) {
      for (const std::string& key : object.getKeys())
        if (skipKeys.count(key) == 0)
          pending.push_back({object.getKey(key), key, next.key});
    } else if (object.isArray()) {
      for (QPDFObjectHandle& item : object.getArrayAsVector())
        pending.push_back({item, "", next.key});
    }
  }
}

}  // namespace pdf::document
