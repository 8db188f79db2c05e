// The service directory: turns a service name into a TCP port.
//
// The services file named by KQM_SERVICES is asked first (lines "name port/tcp [aliases]",
// "#" starts a comment, as in /etc/services), then the system services database. Pure parts
// are separate so that they are tested without files. Safe to call from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace kqm {

// The TCP services a services file's text lists, by name and alias. The first line naming a
// service wins, as in /etc/services; other protocols are skipped. Throws KQ_EException
// naming `source` and the line number on a line that is not "name port/protocol".
std::map<std::string, std::uint16_t, std::less<>> ParseServices(std::string_view text,
                                                                const std::string& source);

// The port of `service`. Throws KQ_EException when the services file cannot be read or is
// malformed, and when no source knows the service: the message names the service and says
// how to add it.
std::uint16_t ServicePort(const std::string& service);

}  // namespace kqm
