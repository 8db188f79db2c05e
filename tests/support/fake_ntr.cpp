#include "tests/support/fake_ntr.h"

#include "config/NTR/ntr_exceptions.h"

namespace vtps_test {

FakeNtr::~FakeNtr() {
  if (!loop_.joinable())
    return;
  server_.Shutdown();
  loop_.join();
  server_.Close();
}

void FakeNtr::Start(std::uint16_t port) {
  server_.Bind("NTR", port, 0, false);
  server_.SetProcessor(&FakeNtr::Handle, this);
  loop_ = std::thread([this] { server_.EventLoop(-1); });
}

std::vector<KQ_TDict> FakeNtr::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void FakeNtr::Handle(KQM_TServer&, const KQ_TDict& request, KQ_TAny& answer, void* user) {
  auto* self = static_cast<FakeNtr*>(user);
  {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->requests_.push_back(request);
  }
  const KQ_TString* method = request["M"].DynamicCast<KQ_TString>();
  const KQ_TString* key = request["P1"].DynamicCast<KQ_TString>();
  if (method == nullptr || key == nullptr)
    throw NTR_EIllegalPath("bad request", KQ_TAny());
  if (*method == "[]") {
    auto raised = self->raises.find(key->Text());
    if (raised != self->raises.end()) {
      if (const auto* error = dynamic_cast<const KQ_IThrowable*>(raised->second.Get()))
        error->KQ_Raise();
    }
  }
  const auto& table = *method == "KeysAt" ? self->listings : self->values;
  auto found = table.find(key->Text());
  if (found == table.end()) {
    NTR_EValueNotSet error;
    error.KQ_Message() = KQ_TString("no value for ") + *key;
    throw error;
  }
  answer = found->second;
}

}  // namespace vtps_test
