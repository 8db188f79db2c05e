#include "platform/kqtypes/kq_iterator.h"

#include "platform/kqtypes/kq_exception.h"

void KQ_TConstIterator::CheckNotDone() const {
  if (IsDone())
    throw KQ_EException("KQ_TConstIterator used past its end");
}

const KQ_IPackable& KQ_TConstIterator::Key() const {
  CheckNotDone();
  if (dict_ != nullptr)
    return dict_->EntryAt(position_).key;
  listKey_ = KQ_TInt(static_cast<std::int64_t>(position_));
  return listKey_;
}

const KQ_TAny& KQ_TConstIterator::Value() const {
  CheckNotDone();
  return dict_ != nullptr ? dict_->EntryAt(position_).value : list_->At(position_);
}
