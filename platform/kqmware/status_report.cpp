#include "platform/kqmware/status_report.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "platform/kqtypes/kq_scalar.h"

namespace kqm {

KQ_TDict StatusDictionary(const ServerState& state) {
  auto number = [](auto value) { return KQ_TAny(KQ_TInt(static_cast<std::int64_t>(value))); };
  KQ_TDict status;
  status["service"] = state.service.c_str();
  status["pid"] = number(state.processId);
  status["uptimeSeconds"] = number(state.uptimeSeconds);
  status["workers"] = number(state.slots.slots);
  status["running"] = number(state.slots.running);
  status["queued"] = number(state.slots.queued);
  status["queueLimit"] = number(state.slots.queueLimit);
  status["answered"] = number(state.answered);
  status["exceptions"] = number(state.exceptions);
  status["refused"] = number(state.refused);
  status["stopping"] = state.stopping;
  return status;
}

namespace {

// A label value with backslash, quote and line breaks escaped.
std::string LabelValue(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '"') {
      escaped += '\\';
      escaped += c;
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// Whole numbers as integers ("1700000000", not "1.7e+09"), the rest in the shortest text that
// reads back as the same double ("0.005", not "0.0050000000000000001").
std::string Number(double value) {
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9007199254740992.0)
    return std::to_string(static_cast<std::int64_t>(value));
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

}  // namespace

std::string MetricsText(const ServerState& state) {
  const std::string service = "service=\"" + LabelValue(state.service) + "\"";
  std::string out;
  auto metric = [&](const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  };
  auto sample = [&](const std::string& name, const std::string& labels, double value) {
    out += name + "{" + labels + "} " + Number(value) + "\n";
  };

  metric("kqm_requests_total", "counter", "Requests by outcome.");
  sample("kqm_requests_total", service + ",outcome=\"answered\"",
         static_cast<double>(state.answered));
  sample("kqm_requests_total", service + ",outcome=\"exception\"",
         static_cast<double>(state.exceptions));
  sample("kqm_requests_total", service + ",outcome=\"refused\"",
         static_cast<double>(state.refused));
  metric("kqm_requests_running", "gauge", "Requests running their processor.");
  sample("kqm_requests_running", service, state.slots.running);
  metric("kqm_requests_queued", "gauge", "Requests waiting for a processor slot.");
  sample("kqm_requests_queued", service, static_cast<double>(state.slots.queued));
  metric("kqm_queue_limit", "gauge", "How many requests may wait (KQM_QUEUE).");
  sample("kqm_queue_limit", service, static_cast<double>(state.slots.queueLimit));
  metric("kqm_workers", "gauge", "Processor slots (KQM_WORKERS).");
  sample("kqm_workers", service, state.slots.slots);

  metric("kqm_request_duration_seconds", "histogram", "Time requests spent in the processor.");
  std::uint64_t cumulative = 0;
  for (std::size_t i = 0; i < state.durationCounts.size(); ++i) {
    cumulative += state.durationCounts[i];
    std::string bound = i < kDurationBuckets.size() ? Number(kDurationBuckets[i]) : "+Inf";
    sample("kqm_request_duration_seconds_bucket", service + ",le=\"" + bound + "\"",
           static_cast<double>(cumulative));
  }
  sample("kqm_request_duration_seconds_sum", service, state.durationSum);
  sample("kqm_request_duration_seconds_count", service, static_cast<double>(cumulative));

  metric("process_start_time_seconds", "gauge", "Start time of the process since 1970.");
  sample("process_start_time_seconds", service, static_cast<double>(state.startedAt));
  return out;
}

std::string StatusLine(const ServerState& state) {
  return std::string(state.stopping ? "stopping: " : "serving: ") +
         std::to_string(state.slots.running) + " running, " + std::to_string(state.slots.queued) +
         " queued, " + std::to_string(state.answered) + " answered";
}

}  // namespace kqm
