// KQ_TArray, an indexed sequence of values (KQ_TAny) whose length is set explicitly.
//
// The array owns its values. Indexing outside 0 .. Count() - 1 throws KQ_EException. Use one
// from one thread at a time, or share it read-only.
#pragma once

#include <cstddef>

#include "platform/kqtypes/kq_sequence.h"

class KQ_TArray : public KQ_TSequenceClass<KQ_TArray> {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TArray";

  // New elements are null; a shorter length drops the elements beyond it.
  void SetLength(std::size_t length) { elements_.resize(length); }
  // Element `index`; throws KQ_EException when it is not below Count().
  const KQ_TAny& operator[](std::size_t index) const { return ElementAt(index); }
  KQ_TAny& operator[](std::size_t index) { return ElementAt(index); }

  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagArray; }
  // [value, ...]
  void PrintOn(std::ostream& out) const override { kq_sequence::Print(elements_, out, '[', ']'); }
};
