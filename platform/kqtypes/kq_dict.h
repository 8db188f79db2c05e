// KQ_TDict, a dictionary from text keys to values (KQ_TAny), one value per key.
//
// Entries keep the order in which their keys were first inserted; assigning to an existing
// key keeps its place. Keys compare byte-wise and case-sensitively. Large dictionaries keep
// a hash index beside the entries. The dictionary owns its values. Use one from one thread
// at a time, or share it read-only (const operations never change it).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_string.h"
#include "platform/kqtypes/kq_value_class.h"

class KQ_TDict : public KQ_TValueClass<KQ_TDict> {
 public:
  struct Entry {
    KQ_TString key;
    KQ_TAny value;
  };
  using const_iterator = std::vector<Entry>::const_iterator;

  static constexpr const char* KQ_ClassName = "KQ_TDict";

  KQ_TDict() = default;
  // An empty dictionary with room for `expectedEntries` entries (0 is fine).
  explicit KQ_TDict(std::size_t expectedEntries);

  // Lookup: the value of `key`, or a null any when there is no such entry. Never creates.
  const KQ_TAny& operator[](const char* key) const { return Lookup(key == nullptr ? "" : key); }
  const KQ_TAny& operator[](const std::string& key) const { return Lookup(key); }
  const KQ_TAny& operator[](const KQ_TString& key) const { return Lookup(key.Text()); }
  // The entry's value, or null when there is no entry of that key.
  const KQ_TAny* Find(std::string_view key) const;

  // Value slot: the value of `key`, created null (appended at the end) when absent.
  KQ_TAny& operator[](const char* key) { return Slot(key == nullptr ? "" : key); }
  KQ_TAny& operator[](const std::string& key) { return Slot(key); }
  KQ_TAny& operator[](const KQ_TString& key) { return Slot(key.Text()); }
  KQ_TAny& operator[](const wchar_t* key) { return Slot(KQ_TString(key).Text()); }

  std::size_t Count() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  const Entry& EntryAt(std::size_t index) const { return entries_.at(index); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

  // Same keys in the same order with equal values.
  bool SameContent(const KQ_TDict& other) const;
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagDict; }
  // {key: value, ...}
  void PrintOn(std::ostream& out) const override;

 private:
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const {
      return std::hash<std::string_view>()(key);
    }
  };
  // Below this many entries a linear search is faster than the index.
  static constexpr std::size_t kIndexFrom = 12;

  const KQ_TAny& Lookup(std::string_view key) const;
  KQ_TAny& Slot(std::string_view key);
  std::ptrdiff_t IndexOf(std::string_view key) const;

  std::vector<Entry> entries_;
  // Key to position in entries_; filled only once there are kIndexFrom entries.
  std::unordered_map<std::string, std::size_t, KeyHash, std::equal_to<>> index_;
};
