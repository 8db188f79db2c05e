#include "bench/load_request.h"

#include <sstream>
#include <stdexcept>

namespace load {

KQ_TDict MakeRequest(const std::string& method, const KQ_TAny& parameters, Expect expect,
                     int connection, long long index) {
  KQ_TDict request;
  request["M"] = method;
  KQ_TAny p1 = parameters;
  if (p1.IsNull() && expect == Expect::kEcho)
    p1 = KQ_TDict();
  if (p1.IsNull())
    return request;
  if (KQ_TDict* dictionary = p1.DynamicCast<KQ_TDict>())
    (*dictionary)[kRequestKey] = std::to_string(connection) + "-" + std::to_string(index);
  else if (expect == Expect::kEcho)
    throw std::invalid_argument("--expect echo needs P1 to be a JSON object");
  request["P1"] = std::move(p1);
  return request;
}

std::string CheckAnswer(Expect expect, const KQ_TDict& request, const KQ_TAny& answer) {
  switch (expect) {
    case Expect::kAny:
      return "";
    case Expect::kTrue:
      if (answer == KQ_TAny(true))
        return "";
      break;
    case Expect::kEcho:
      if (answer == request["P1"])
        return "";
      break;
  }
  std::ostringstream text;
  text << "sent ";
  request.PrintOn(text);
  text << ", got ";
  answer.PrintOn(text);
  return text.str();
}

}  // namespace load
