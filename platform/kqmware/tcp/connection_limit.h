// How many client connections a server keeps open at once: KQM_MAX_CONNECTIONS, lowered
// when the process's descriptor limit could not hold that many beside what the server
// itself needs (its listener, log, signals and event loop, and for each worker the job file
// and the process handle of a processor run). Past the limit a new connection is answered
// with KQM_EBusy and closed, so the server never runs out of descriptors through its
// clients.
//
// Pure values and functions; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kqm {

// Descriptors kept back from connections: a base for the server's own (standard streams,
// listener, metrics listener, log, event loop, signals, the configuration client) and a few
// for each worker's processor run.
inline constexpr std::uint64_t kReservedDescriptors = 32;
inline constexpr std::uint64_t kReservedDescriptorsPerWorker = 8;

struct ConnectionLimit {
  std::size_t maximum = 0;        // connections served at once (at least 1)
  std::size_t setting = 0;        // KQM_MAX_CONNECTIONS
  std::uint64_t descriptors = 0;  // the process's descriptor limit; 0: none
  std::uint64_t reserved = 0;     // descriptors kept back from connections

  // Whether the descriptor limit, not the setting, sets the maximum.
  bool LoweredByDescriptors() const { return maximum < setting; }
  // "at most 192 (KQM_MAX_CONNECTIONS 1024; descriptor limit 256, 64 kept for the server's
  // own use)", or "at most 1024 (KQM_MAX_CONNECTIONS 1024)".
  std::string Describe() const;
};

// The connection limit for the setting `maxConnections` (KQM_MAX_CONNECTIONS) in a process
// whose descriptor limit is `descriptorLimit` (0: none) and that runs `workers` processors
// at once. Never below 1, so that a server started with very few descriptors still serves
// one client.
ConnectionLimit EffectiveConnectionLimit(std::size_t maxConnections, std::uint64_t descriptorLimit,
                                         int workers);

}  // namespace kqm
