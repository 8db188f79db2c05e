#include "platform/kqmware/nats/nats_subject.h"

#include "platform/kqtypes/kq_exception.h"

namespace kqm {

void CheckSubjectToken(const std::string& service) {
  if (service.empty())
    throw KQ_EException("a service name served over NATS cannot be empty");
  for (char c : service) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '.' || c == '*' || c == '>' || byte <= ' ' || byte == 0x7f) {
      throw KQ_EException(
          "the service name \"" + service +
          "\" cannot be served over NATS (KQM_NATS_URL is set): it must be one subject token, "
          "without '.', '*', '>', blanks or control characters");
    }
  }
}

std::string RequestSubject(const std::string& service) {
  return "kqm." + service;
}

std::string StatusSubject(const std::string& service) {
  return "kqm." + service + ".status";
}

}  // namespace kqm
