#include "platform/kqtypes/kq_dict.h"

#include <ostream>

namespace {

const KQ_TAny& NullAny() {
  static const KQ_TAny* const null = new KQ_TAny();
  return *null;
}

}  // namespace

KQ_TDict::KQ_TDict(std::size_t expectedEntries) {
  entries_.reserve(expectedEntries);
}

std::ptrdiff_t KQ_TDict::IndexOf(std::string_view key) const {
  if (!index_.empty()) {
    auto found = index_.find(key);
    return found == index_.end() ? -1 : static_cast<std::ptrdiff_t>(found->second);
  }
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].key.Text() == key)
      return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

const KQ_TAny* KQ_TDict::Find(std::string_view key) const {
  std::ptrdiff_t index = IndexOf(key);
  return index < 0 ? nullptr : &entries_[static_cast<std::size_t>(index)].value;
}

const KQ_TAny& KQ_TDict::Lookup(std::string_view key) const {
  const KQ_TAny* value = Find(key);
  return value == nullptr ? NullAny() : *value;
}

KQ_TAny& KQ_TDict::Slot(std::string_view key) {
  std::ptrdiff_t index = IndexOf(key);
  if (index >= 0)
    return entries_[static_cast<std::size_t>(index)].value;
  entries_.push_back(Entry{KQ_TString(key), KQ_TAny()});
  if (!index_.empty()) {
    index_.emplace(std::string(key), entries_.size() - 1);
  } else if (entries_.size() >= kIndexFrom) {
    index_.reserve(entries_.size() * 2);
    for (std::size_t i = 0; i < entries_.size(); ++i)
      index_.emplace(entries_[i].key.Text(), i);
  }
  return entries_.back().value;
}

void KQ_TDict::KQ_Pack(KQ_IPacking& out) const {
  out.PackCount(entries_.size());
  for (const Entry& entry : entries_) {
    out.PackText(entry.key.Text());
    out.PackValue(entry.value);
  }
}

void KQ_TDict::KQ_Unpack(KQ_IUnpacking& in) {
  KQ_TDict result;
  std::size_t count = in.UnpackCount();
  for (std::size_t i = 0; i < count; ++i) {
    std::string key = in.UnpackText();
    in.UnpackValue(result.Slot(key));
  }
  *this = std::move(result);
}

bool KQ_TDict::SameContent(const KQ_TDict& other) const {
  if (other.entries_.size() != entries_.size())
    return false;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (!(entries_[i].key == other.entries_[i].key) ||
        !(entries_[i].value == other.entries_[i].value))
      return false;
  }
  return true;
}

void KQ_TDict::PrintOn(std::ostream& out) const {
  out << '{';
  const char* separator = "";
  for (const Entry& entry : entries_) {
    out << separator << entry.key.Text() << ": ";
    entry.value.PrintOn(out);
    separator = ", ";
  }
  out << '}';
}
