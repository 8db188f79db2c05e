#include "processors/pdf/document/reachable_objects.h"

#include <algorithm>
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

long long DeepestNesting(QPDFObjectHandle start, long long stopAt) {
  struct Level {
    QPDFObjectHandle object;
    long long depth;
  };
  std::set<QPDFObjGen> seen;
  std::vector<Level> pending{{start, 1}};
  long long deepest = 0;
  while (!pending.empty() && deepest < stopAt) {
    Level next = std::move(pending.back());
    pending.pop_back();
    QPDFObjectHandle object = next.object;
    if (object.isIndirect() && !seen.insert(object.getObjGen()).second)
      continue;
    if (object.isStream())
      object = object.getDict();
    if (!object.isDictionary() && !object.isArray())
      continue;
    deepest = std::max(deepest, next.depth);
    if (object.isDictionary()) {
      for (const std::string& key : object.getKeys())
        pending.push_back({object.getKey(key), next.depth + 1});
    } else {
      for (QPDFObjectHandle& item : object.getArrayAsVector())
        pending.push_back({item, next.depth + 1});
    }
  }
  return deepest;
}

}  // namespace pdf::document
