// The service directory: turns a service name into a TCP port.
//
// The services file (KQM_SERVICES, given by the program's options) is asked first (lines
// "name port/tcp [aliases]", "#" starts a comment, as in /etc/services), then the system
// services database. The file is read on the first lookup and kept: a program reads it once,
// however many servers and clients look names up in it. Pure parts are separate so that they
// are tested without files.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace kqm {

// The TCP services a services file's text lists, by name and alias. The first line naming a
// service wins, as in /etc/services; other protocols are skipped. Throws KQ_EException
// naming `source` and the line number on a line that is not "name port/protocol".
std::map<std::string, std::uint16_t, std::less<>> ParseServices(std::string_view text,
                                                                const std::string& source);

// A value: copies share the original's reading of the file. Safe to use from any thread.
class ServiceDirectory {
 public:
  // Without a services file: the system services database only.
  ServiceDirectory();
  // With the services file `servicesFile` ("": none).
  explicit ServiceDirectory(std::string servicesFile);

  // The services file; "" when there is none.
  const std::string& File() const;

  // The port of `service`. Throws KQ_EException when the services file cannot be read or is
  // malformed (it is read again on the next lookup then), and when no source knows the
  // service: the message names the service and says how to add it.
  std::uint16_t Port(const std::string& service) const;

 private:
  struct Reading;
  std::shared_ptr<Reading> reading_;  // shared by the copies
};

}  // namespace kqm
