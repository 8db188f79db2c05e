#include "platform/kqmware/service_directory.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

#include "platform/kqtypes/kq_exception.h"
#include "platform/os/os.h"

namespace kqm {

namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
      ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
      ++i;
    if (i > start)
      words.push_back(line.substr(start, i - start));
  }
  return words;
}

}  // namespace

std::map<std::string, std::uint16_t, std::less<>> ParseServices(std::string_view text,
                                                                const std::string& source) {
  std::map<std::string, std::uint16_t, std::less<>> services;
  int lineNumber = 0;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++lineNumber;
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> words = Words(line);
    if (words.empty())
      continue;
    std::string_view portAndProtocol = words.size() > 1 ? words[1] : std::string_view();
    std::size_t slash = portAndProtocol.find('/');
    unsigned port = 0;
    std::string_view digits = portAndProtocol.substr(0, slash);
    auto [last, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (slash == std::string_view::npos || digits.empty() || error != std::errc() ||
        last != digits.data() + digits.size() || port == 0 || port > 65535) {
      throw KQ_EException(KQ_TString(source) + ":" + std::to_string(lineNumber) +
                          ": expected \"name port/tcp\", found \"" + std::string(line) + "\"");
    }
    if (portAndProtocol.substr(slash + 1) != "tcp")
      continue;
    for (std::size_t i = 0; i < words.size(); ++i) {
      if (i == 1)
        continue;
      services.emplace(std::string(words[i]), static_cast<std::uint16_t>(port));
    }
  }
  return services;
}

// The file's services once it has been read; guarded by its mutex.
struct ServiceDirectory::Reading {
  std::string file;
  std::mutex mutex;
  std::optional<std::map<std::string, std::uint16_t, std::less<>>> services;
};

ServiceDirectory::ServiceDirectory() : ServiceDirectory(std::string()) {}

ServiceDirectory::ServiceDirectory(std::string servicesFile)
    : reading_(std::make_shared<Reading>()) {
  reading_->file = std::move(servicesFile);
}

const std::string& ServiceDirectory::File() const {
  return reading_->file;
}

std::uint16_t ServiceDirectory::Port(const std::string& service) const {
  const std::string& file = reading_->file;
  if (!file.empty()) {
    std::lock_guard<std::mutex> lock(reading_->mutex);
    if (!reading_->services) {
      std::ifstream in(file, std::ios::binary);
      if (!in) {
        throw KQ_EException(KQ_TString("cannot read the services file ") + file +
                            " named in KQM_SERVICES: " + os::ErrorText(errno));
      }
      std::ostringstream text;
      text << in.rdbuf();
      reading_->services = ParseServices(text.str(), file);
    }
    auto found = reading_->services->find(service);
    if (found != reading_->services->end())
      return found->second;
  }
  if (std::optional<std::uint16_t> port = os::LookupSystemServicePort(service.c_str()))
    return *port;
  std::string where = !file.empty() ? "to the services file " + file + " (named in KQM_SERVICES)"
                                    : std::string(
                                          "to a services file and name it in KQM_SERVICES "
                                          "(etc/kqm-services holds the defaults)");
  throw KQ_EException(KQ_TString("the service ") + service + " has no port: add a line \"" +
                      service + " <port>/tcp\" " + where +
                      ", or add the service to the system services database");
}

}  // namespace kqm
