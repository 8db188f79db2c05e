// KQM_EBusy: the exception a server answers with when it cannot take a request: every
// processor slot is busy and the queue is full, or the server is stopping. A client
// re-creates it as itself, so a caller can tell "try again later" from a failed request.
// Registered by the middleware's initialisation. A plain value: copy it freely.
#pragma once

#include "platform/kqtypes/kq_exception.h"

class KQM_EBusy : public KQ_EException {
 public:
  static constexpr const char* KQ_ClassName = "KQM_EBusy";
  static KQ_TClass* KQ_ClassObject();

  KQM_EBusy() = default;
  KQM_EBusy(const KQM_EBusy&) = default;
  explicit KQM_EBusy(const KQ_TString& message, const char* file = __builtin_FILE(),
                     int line = __builtin_LINE())
      : KQ_EException(message, KQ_TAny(), file, line) {}
  ~KQM_EBusy() override = default;

  KQM_EBusy* KQ_CompleteObject() const override { return const_cast<KQM_EBusy*>(this); }
  void* KQ_DynamicInfo(const char* className) const override;
  [[noreturn]] void KQ_Raise() const override { throw KQM_EBusy(*this); }
  // The KQ_EException part inside a section "KQ_EException".
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  KQ_IPackable* KQ_Clone() const override { return new KQM_EBusy(*this); }
};
