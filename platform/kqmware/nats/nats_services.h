// What a server bound over NATS tells the NATS services API, through which standard NATS
// tooling (the nats command's "micro" commands, the client libraries' services clients)
// discovers and watches services: the nine subjects an instance answers ("$SRV.PING",
// "$SRV.PING.NAME", "$SRV.PING.NAME.ID", the same for INFO and STATS) and its JSON replies of
// type "io.nats.micro.v1.ping_response", "info_response" and "stats_response". Every
// instance of a service answers for itself: a ping on "$SRV.PING.NAME" hears from each.
//
// Pure functions over plain values; the NATS transport subscribes and publishes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/kqmware/server_statistics.h"

namespace kqm {

// Who an instance is, fixed when it starts.
struct ServiceIdentity {
  std::string name;  // the service name
  std::string id;    // unique to this instance
  std::string version;
  std::string description;
  // Text values only, as the services API wants; in this order.
  std::vector<std::pair<std::string, std::string>> metadata;
  // The one endpoint: where requests go and the queue group that shares them.
  std::string endpointSubject;
  std::string queueGroup;
};

// The three questions the services API asks.
enum class ServiceQuestion { kPing, kInfo, kStats };

// Throws KQ_EException saying why when `name` cannot be a services API name: empty, or
// holding anything but ASCII letters, digits, '-' and '_'.
void CheckServiceName(const std::string& name);

// The nine subjects an instance answers, with the question each asks.
std::vector<std::pair<std::string, ServiceQuestion>> ServiceApiSubjects(
    const ServiceIdentity& identity);

// The replies, as JSON text. A stats reply counts every request the instance received as one
// of `num_requests`, those answered with an exception or refused as busy also as
// `num_errors`; `processing_time` is the processors' time in nanoseconds and
// `average_processing_time` that over `num_requests` (both whole numbers), `started` the
// start time (RFC 3339, UTC).
std::string PingResponse(const ServiceIdentity& identity);
std::string InfoResponse(const ServiceIdentity& identity);
std::string StatsResponse(const ServiceIdentity& identity, const ServerState& state);
std::string ServiceResponse(ServiceQuestion question, const ServiceIdentity& identity,
                            const ServerState& state);

}  // namespace kqm
