#include "platform/kqmware/nats/nats_services.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "platform/kqmware/debug_log.h"
#include "platform/kqtypes/kq_exception.h"

namespace kqm {

namespace {

using Json = nlohmann::ordered_json;

// The fields every reply starts with.
Json Common(const char* type, const ServiceIdentity& identity) {
  Json metadata = Json::object();
  for (const auto& [key, value] : identity.metadata)
    metadata[key] = value;
  return Json{{"type", type},
              {"name", identity.name},
              {"id", identity.id},
              {"version", identity.version},
              {"metadata", std::move(metadata)}};
}

Json Endpoint(const ServiceIdentity& identity) {
  return Json{{"name", identity.name},
              {"subject", identity.endpointSubject},
              {"queue_group", identity.queueGroup},
              {"metadata", nullptr}};
}

// Invalid UTF-8 in a text (an exception's message may hold any bytes) is replaced rather than
// failing the reply.
std::string Dump(const Json& reply) {
  return reply.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

void CheckServiceName(const std::string& name) {
  if (name.empty())
    throw KQ_EException("a service over NATS needs a name");
  for (char c : name) {
    bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '-' || c == '_';
    if (!allowed) {
      throw KQ_EException("the service name \"" + name +
                          "\" cannot be announced to NATS: a service name over NATS holds only "
                          "letters, digits, '-' and '_'");
    }
  }
}

std::vector<std::pair<std::string, ServiceQuestion>> ServiceApiSubjects(
    const ServiceIdentity& identity) {
  std::vector<std::pair<std::string, ServiceQuestion>> subjects;
  const std::pair<const char*, ServiceQuestion> questions[] = {{"PING", ServiceQuestion::kPing},
                                                               {"INFO", ServiceQuestion::kInfo},
                                                               {"STATS", ServiceQuestion::kStats}};
  for (const auto& [verb, question] : questions) {
    std::string subject = std::string("$SRV.") + verb;
    subjects.emplace_back(subject, question);
    subjects.emplace_back(subject + "." + identity.name, question);
    subjects.emplace_back(subject + "." + identity.name + "." + identity.id, question);
  }
  return subjects;
}

std::string PingResponse(const ServiceIdentity& identity) {
  return Dump(Common("io.nats.micro.v1.ping_response", identity));
}

std::string InfoResponse(const ServiceIdentity& identity) {
  Json reply = Common("io.nats.micro.v1.info_response", identity);
  reply["description"] = identity.description;
  reply["endpoints"] = Json::array({Endpoint(identity)});
  return Dump(reply);
}

std::string StatsResponse(const ServiceIdentity& identity, const ServerState& state) {
  std::uint64_t requests = state.answered + state.exceptions + state.refused;
  std::uint64_t errors = state.exceptions + state.refused;
  Json endpoint = Endpoint(identity);
  endpoint["num_requests"] = requests;
  endpoint["num_errors"] = errors;
  endpoint["last_error"] = state.lastError;
  endpoint["processing_time"] = state.durationNanos;
  endpoint["average_processing_time"] = requests == 0 ? 0 : state.durationNanos / requests;
  endpoint["data"] = nullptr;
  Json reply = Common("io.nats.micro.v1.stats_response", identity);
  reply["started"] =
      UtcTimestamp(std::chrono::system_clock::time_point(std::chrono::seconds(state.startedAt)));
  reply["endpoints"] = Json::array({std::move(endpoint)});
  return Dump(reply);
}

std::string ServiceResponse(ServiceQuestion question, const ServiceIdentity& identity,
                            const ServerState& state) {
  switch (question) {
    case ServiceQuestion::kPing:
      return PingResponse(identity);
    case ServiceQuestion::kInfo:
      return InfoResponse(identity);
    case ServiceQuestion::kStats:
      return StatsResponse(identity, state);
  }
  return PingResponse(identity);
}

}  // namespace kqm
