// KQ_TURL, a URL value; configuration names folders with one (usually a file: URL).
//
// A plain value: use one from one thread at a time, or share it read-only.
#pragma once

#include "platform/kqtypes/kq_string.h"

class KQ_TURL : public KQ_TObject, public virtual KQ_IPackable, public virtual KQ_IPrintable {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TURL";
  static KQ_TClass* KQ_ClassObject();

  KQ_TURL() = default;
  explicit KQ_TURL(KQ_TString text) : text_(std::move(text)) {}
  KQ_TURL(const KQ_TURL&) = default;
  KQ_TURL(KQ_TURL&&) noexcept = default;
  KQ_TURL& operator=(const KQ_TURL&) = default;
  KQ_TURL& operator=(KQ_TURL&&) noexcept = default;
  ~KQ_TURL() override = default;

  const KQ_TString& Text() const { return text_; }

  // The local path the URL names, in this platform's style: file URLs are decoded
  // (`file:///C:/dir` is `C:\dir` on Windows), plain paths pass through. Throws
  // KQ_EException naming the URL and the reason when it names no local path (empty, another
  // scheme, another host, a malformed escape).
  KQ_TString ToLocalPath() const;

  KQ_TURL* KQ_CompleteObject() const override { return const_cast<KQ_TURL*>(this); }
  void* KQ_DynamicInfo(const char* className) const override;
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  KQ_IPackable* KQ_Clone() const override { return new KQ_TURL(*this); }
  bool KQ_IsIdent(const KQ_IPackable& other) const override;
  void KQ_Move(KQ_IPackable& from) override;
  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagURL; }
  // The URL's text.
  void PrintOn(std::ostream& out) const override;

 private:
  KQ_TString text_;
};
