// How a connection to NATS is set up, for the server transport and the client channel alike:
// the options for the URLs and reconnecting with the authentication and TLS settings applied,
// the connection itself, and what libnats' failures say. Built where libnats is.
//
// Pure functions over libnats' handles; the caller owns what they make. StatusText reads the
// calling thread's last libnats error.
#pragma once

#include <nats/nats.h>

#include <string>

#include "platform/kqmware/settings.h"

namespace kqm {

// The text of `status`, with libnats' last error on this thread when that says more.
std::string StatusText(natsStatus status);

// Whether NATS has refused something on the connection as a permissions violation. Only
// the status is read: the error's text lives in a buffer libnats' reader thread rewrites
// under a lock of its own whenever NATS sends another error.
bool PermissionRefused(natsConnection* connection);

// Options for a connection to `urls` (comma-separated) within `connectTimeoutMs` that
// reconnects without end, authenticating and checking NATS as `security` says; the caller
// owns them (Connect takes them over). Throws KQ_EException naming the setting when the URLs
// or a security setting's file or value are unusable.
natsOptions* MakeOptions(const std::string& urls, int connectTimeoutMs,
                         const NatsSecurity& security);

// Connects with `options`, which it destroys whatever happens. Throws KQ_EException naming
// `urls` and the settings to look at when NATS cannot be reached, refuses the credentials or
// fails the TLS handshake.
natsConnection* Connect(natsOptions* options, const std::string& urls,
                        const NatsSecurity& security);

}  // namespace kqm
