// An in-process stand-in for the configuration service "NTR", for tests that need replies
// ntr-server would never give (values of the wrong class, failures on chosen keys). It
// answers "[]" from a table of key -> value, raises NTR_EValueNotSet for other keys, answers
// "KeysAt" from a table too, and records every request. Runs its event loop on its own
// thread between construction and destruction; the tables are set before the server is
// started and only read while it runs.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/kqmware/kqm_server.h"
#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_dict.h"

namespace vtps_test {

class FakeNtr {
 public:
  // What "[]" answers per key; a key missing here raises NTR_EValueNotSet.
  std::map<std::string, KQ_TAny> values;
  // What "KeysAt" answers per folder key; a key missing here raises NTR_EValueNotSet.
  std::map<std::string, KQ_TAny> listings;
  // Keys whose "[]" raises the exception held (any KQ_EException class), before `values`.
  std::map<std::string, KQ_TAny> raises;

  FakeNtr() = default;
  ~FakeNtr();

  // Binds "NTR" on `port` and starts serving.
  void Start(std::uint16_t port);
  // The requests received so far, in order.
  std::vector<KQ_TDict> Requests();

 private:
  static void Handle(KQM_TServer& server, const KQ_TDict& request, KQ_TAny& answer, void* user);

  KQM_TServer server_;
  std::thread loop_;
  std::mutex mutex_;
  std::vector<KQ_TDict> requests_;  // guarded by mutex_
};

}  // namespace vtps_test
