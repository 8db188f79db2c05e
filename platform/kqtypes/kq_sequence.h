// KQ_TSequenceClass, the part KQ_TArray and KQ_TList share: a vector of values the sequence
// owns, its count, appending, checked indexing, packing and comparison; and the functions
// behind it in kq_sequence.
//
// Use a sequence from one thread at a time, or share it read-only.
#pragma once

#include <cstddef>
#include <ostream>
#include <utility>
#include <vector>

#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_value_class.h"

namespace kq_sequence {

// Throws KQ_EException naming the index and the count.
[[noreturn]] void ThrowOutOfRange(const char* className, std::size_t index, std::size_t count);

void Pack(const std::vector<KQ_TAny>& elements, KQ_IPacking& out);
std::vector<KQ_TAny> Unpack(KQ_IUnpacking& in);
bool Equal(const std::vector<KQ_TAny>& left, const std::vector<KQ_TAny>& right);
void Print(const std::vector<KQ_TAny>& elements, std::ostream& out, char open, char close);

}  // namespace kq_sequence

// The base of a sequence value class `Self`: Self declares its name, its tag, how it prints
// and which accessors it offers on top of these.
template <class Self>
class KQ_TSequenceClass : public KQ_TValueClass<Self> {
 public:
  std::size_t Count() const { return elements_.size(); }
  void Append(KQ_TAny value) { elements_.push_back(std::move(value)); }

  // Equal elements in the same order.
  bool SameContent(const Self& other) const {
    return kq_sequence::Equal(elements_, other.elements_);
  }
  void KQ_Pack(KQ_IPacking& out) const override { kq_sequence::Pack(elements_, out); }
  void KQ_Unpack(KQ_IUnpacking& in) override { elements_ = kq_sequence::Unpack(in); }

 protected:
  // Element `index`; throws KQ_EException naming Self when it is not below Count().
  const KQ_TAny& ElementAt(std::size_t index) const {
    if (index >= elements_.size())
      kq_sequence::ThrowOutOfRange(Self::KQ_ClassName, index, elements_.size());
    return elements_[index];
  }
  KQ_TAny& ElementAt(std::size_t index) {
    return const_cast<KQ_TAny&>(std::as_const(*this).ElementAt(index));
  }

  std::vector<KQ_TAny> elements_;
};
