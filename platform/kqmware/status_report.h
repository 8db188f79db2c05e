// The ways a server's state is reported: the status probe's dictionary (kqm-call --status
// prints it as JSON), the Prometheus text of GET /metrics and the one-line summary the service
// manager shows. Pure functions.
#pragma once

#include <string>

#include "platform/kqmware/server_statistics.h"
#include "platform/kqtypes/kq_dict.h"

namespace kqm {

// {"service", "pid", "uptimeSeconds", "workers", "running", "queued", "queueLimit",
//  "answered", "exceptions", "refused", "stopping"}: text for the service, booleans for
// "stopping", whole numbers for the rest.
KQ_TDict StatusDictionary(const ServerState& state);

// The Prometheus text exposition (format 0.0.4) of the state: kqm_requests_total by
// outcome, kqm_requests_running, kqm_requests_queued, kqm_queue_limit, kqm_workers, the
// kqm_request_duration_seconds histogram and process_start_time_seconds, each labelled with
// the service.
std::string MetricsText(const ServerState& state);

// One line for the service manager: "serving: R running, Q queued, A answered", or
// "stopping: ..." once the server stops.
std::string StatusLine(const ServerState& state);

}  // namespace kqm
