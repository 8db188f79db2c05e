#include "platform/kqtypes/kq_exception.h"

#include <ostream>

#include "platform/kqtypes/kq_value_class.h"

KQ_EException::KQ_EException(const KQ_TString& message, const KQ_TAny& data, const char* file,
                             int line)
    : message_(message), data_(data), file_(file == nullptr ? "" : file), line_(line) {}

void KQ_EException::AddTrace(const KQ_TString& line) {
  if (!trace_.Empty())
    trace_ += "\n";
  trace_ += line;
}

KQ_TClass* KQ_EException::KQ_ClassObject() {
  return KQ_ValueClassObject<KQ_EException, KQ_TObject>();
}

void* KQ_EException::KQ_DynamicInfo(const char* className) const {
  return KQ_AnswerDynamicInfo<KQ_TObject>(this, KQ_ClassObject(), className);
}

void KQ_EException::KQ_Raise() const {
  throw KQ_EException(*this);
}

void KQ_EException::KQ_Pack(KQ_IPacking& out) const {
  out.PackText(message_.Text());
  out.PackValue(data_);
  out.PackText(file_);
  out.PackInt(line_);
  out.PackText(trace_.Text());
}

void KQ_EException::KQ_Unpack(KQ_IUnpacking& in) {
  message_ = KQ_TString(in.UnpackText());
  in.UnpackValue(data_);
  file_ = in.UnpackText();
  line_ = static_cast<int>(in.UnpackInt());
  trace_ = KQ_TString(in.UnpackText());
}

bool KQ_EException::KQ_IsIdent(const KQ_IPackable& other) const {
  const KQ_EException* same = KQ_SameClass(this, other);
  return same != nullptr && same->message_ == message_ && same->data_ == data_;
}

void KQ_EException::KQ_Move(KQ_IPackable& from) {
  *this = KQ_MoveSource(this, from);
}

void KQ_ThrowCannotMove(const KQ_IInterface& from, const KQ_IInterface& into) {
  throw KQ_EException(KQ_TString("cannot move a ") + from.ClassName() + " into a " +
                      into.ClassName());
}

void KQ_EException::PrintOn(std::ostream& out) const {
  out << ClassName() << ": ";
  for (char c : message_.Text())
    out << (c == '\n' || c == '\r' ? ' ' : c);
  if (!file_.empty())
    out << " (" << file_ << ':' << line_ << ')';
}
