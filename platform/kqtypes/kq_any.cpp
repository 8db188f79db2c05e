#include "platform/kqtypes/kq_any.h"

#include <ostream>

#include "platform/kqtypes/kq_scalar.h"
#include "platform/kqtypes/kq_string.h"

KQ_TAny::KQ_TAny(const KQ_TAny& other)
    : value_(other.value_ == nullptr ? nullptr : other.value_->KQ_Clone()) {}

KQ_TAny::KQ_TAny(const char* text) : value_(new KQ_TString(text)) {}

KQ_TAny::KQ_TAny(const std::string& text) : value_(new KQ_TString(text)) {}

KQ_TAny::KQ_TAny(const wchar_t* text) : value_(new KQ_TString(text)) {}

KQ_TAny& KQ_TAny::operator=(const KQ_TAny& other) {
  if (this != &other)
    value_.reset(other.value_ == nullptr ? nullptr : other.value_->KQ_Clone());
  return *this;
}

void KQ_TAny::SetBool(bool value) {
  value_.reset(new KQ_TBool(value));
}

void KQ_TAny::SetInt(std::int64_t value) {
  value_.reset(new KQ_TInt(value));
}

const char* KQ_TAny::ClassName() const {
  return value_ == nullptr ? "" : value_->ClassName();
}

bool KQ_TAny::operator==(const KQ_TAny& other) const {
  if (value_ == nullptr || other.value_ == nullptr)
    return value_ == other.value_;
  return value_->KQ_IsIdent(*other.value_);
}

void KQ_TAny::PrintOn(std::ostream& out) const {
  const auto* printable = dynamic_cast<const KQ_IPrintable*>(value_.get());
  if (printable == nullptr) {
    out << (value_ == nullptr ? "null" : value_->ClassName());
  } else {
    printable->PrintOn(out);
  }
}
