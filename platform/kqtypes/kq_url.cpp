#include "platform/kqtypes/kq_url.h"

#include <ostream>
#include <stdexcept>

#include "platform/kqtypes/kq_exception.h"
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

void KQ_TURL::KQ_Pack(KQ_IPacking& out) const {
  out.PackText(text_.Text());
}

void KQ_TURL::KQ_Unpack(KQ_IUnpacking& in) {
  text_ = KQ_TString(in.UnpackText());
}

bool KQ_TURL::SameContent(const KQ_TURL& other) const {
  return other.text_ == text_;
}

void KQ_TURL::PrintOn(std::ostream& out) const {
  out << text_.Text();
}
