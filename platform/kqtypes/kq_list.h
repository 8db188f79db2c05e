// KQ_TList, a sequence of values (KQ_TAny) that grows at its end, walked with
// KQ_TConstIterator; listings such as a folder's key names arrive as one.
//
// The list owns its values. Use one from one thread at a time, or share it read-only.
#pragma once

#include <cstddef>

#include "platform/kqtypes/kq_sequence.h"

class KQ_TList : public KQ_TSequenceClass<KQ_TList> {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TList";

  // Element `index`; throws KQ_EException when it is not below Count().
  const KQ_TAny& At(std::size_t index) const { return ElementAt(index); }

  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagList; }
  // (value, ...)
  void PrintOn(std::ostream& out) const override { kq_sequence::Print(elements_, out, '(', ')'); }
};
