#include "server/request_processor.h"

#include <iostream>

#include "platform/kqtypes/kq_exception.h"
#include "server/console.h"
#include "server/vt_process_server.h"

const char* const helpText =
    "The VantricProcessServer (a.k.a. VTPS) is a kqmd server which is in charge of handling PDF "
    "operations needed for the Vantric.";

void RequestProcessor(KQM_TServer&, const KQ_TDict& request, KQ_TAny& answer, void* user) {
  answer = false;
  try {
    // A missing or mistyped "M" or "P1" is refused here rather than used as a null value.
    const KQ_TString* method = request["M"].DynamicCast<KQ_TString>();
    if (method == nullptr)
      throw KQ_EException("the request's \"M\" is not a KQ_TString");
    if (*method == "Help") {
      WriteConsoleLine(std::cout, helpText);
      answer = true;
      return;
    }
    const KQ_TDict* parameters = request["P1"].DynamicCast<KQ_TDict>();
    if (parameters == nullptr)
      throw KQ_EException("the request's \"P1\" is not a KQ_TDict");
    auto* server = static_cast<VTProcessServer*>(user);
    if (server == nullptr)
      throw KQ_EException("RequestProcessor was installed without its server");
    answer = server->Execute(*method, *parameters);
  } catch (...) {
    WriteConsoleLine(std::cerr, "VantricProcessServer Exception in Handler.");
  }
}
