// KQ_TConstIterator walks the entries of a KQ_TDict, or the elements of a KQ_TList, in
// their order, without changing them.
//
// The iterator borrows the container, which must outlive it and stay unchanged while it is
// used. Key and Value may only be called while IsDone() is false (they throw KQ_EException
// otherwise).
#pragma once

#include <cstddef>

#include "platform/kqtypes/kq_dict.h"
#include "platform/kqtypes/kq_list.h"
#include "platform/kqtypes/kq_scalar.h"

class KQ_TConstIterator {
 public:
  explicit KQ_TConstIterator(const KQ_TDict& dict) : dict_(&dict) {}
  explicit KQ_TConstIterator(const KQ_TList& list) : list_(&list) {}

  bool IsDone() const { return position_ >= Count(); }
  // The entry's key (a KQ_TString); for a list, the element's index (a KQ_TInt).
  const KQ_IPackable& Key() const;
  const KQ_TAny& Value() const;
  void Next() { ++position_; }

 private:
  std::size_t Count() const { return dict_ != nullptr ? dict_->Count() : list_->Count(); }
  void CheckNotDone() const;

  const KQ_TDict* dict_ = nullptr;
  const KQ_TList* list_ = nullptr;
  std::size_t position_ = 0;
  mutable KQ_TInt listKey_;
};
