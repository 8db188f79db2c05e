// KQ_TURL, a URL value; configuration names folders with one (usually a file: URL).
//
// A plain value: use one from one thread at a time, or share it read-only.
#pragma once

#include "platform/kqtypes/kq_string.h"

class KQ_TURL : public KQ_TValueClass<KQ_TURL> {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TURL";

  KQ_TURL() = default;
  explicit KQ_TURL(KQ_TString text) : text_(std::move(text)) {}

  const KQ_TString& Text() const { return text_; }

  // The local path the URL names, in this platform's style: file URLs are decoded
  // (`file:///C:/dir` is `C:\dir` on Windows), plain paths pass through. Throws
  // KQ_EException naming the URL and the reason when it names no local path (empty, another
  // scheme, another host, a malformed escape).
  KQ_TString ToLocalPath() const;

  // The same text.
  bool SameContent(const KQ_TURL& other) const;
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagURL; }
  // The URL's text.
  void PrintOn(std::ostream& out) const override;

 private:
  KQ_TString text_;
};
