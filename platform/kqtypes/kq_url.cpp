#include "platform/kqtypes/kq_url.h"

#include <ostream>
#include <stdexcept>

#include "platform/kqtypes/kq_value_class.h"
#include "platform/kqtypes/local_path.h"
#include "platform/os/os.h"

KQ_TString KQ_TURL::ToLocalPath() const {
  kq_url::PathStyle style =
      os::PathSeparator() == '\\' ? kq_url::PathStyle::kWindows : kq_url::PathStyle::kPosix;
  try {
    return KQ_TString(kq_url::LocalPathOf(text_.Text(), style));
  } catch (const std::invalid_argument& reason) {
    throw KQ_EException(KQ_TString("the URL \"") + text_ + "\" names no local path: it " +
                        reason.what());
  }
}

KQ_TClass* KQ_TURL::KQ_ClassObject() {
  return KQ_ValueClassObject<KQ_TURL, KQ_TObject>();
}

void* KQ_TURL::KQ_DynamicInfo(const char* className) const {
  return KQ_AnswerDynamicInfo<KQ_TObject>(this, KQ_ClassObject(), className);
}

void KQ_TURL::KQ_Pack(KQ_IPacking& out) const {
  out.PackText(text_.Text());
}

void KQ_TURL::KQ_Unpack(KQ_IUnpacking& in) {
  text_ = KQ_TString(in.UnpackText());
}

bool KQ_TURL::KQ_IsIdent(const KQ_IPackable& other) const {
  const KQ_TURL* same = KQ_SameClass(this, other);
  return same != nullptr && same->text_ == text_;
}

void KQ_TURL::KQ_Move(KQ_IPackable& from) {
  text_ = std::move(KQ_MoveSource(this, from).text_);
}

void KQ_TURL::PrintOn(std::ostream& out) const {
  out << text_.Text();
}
