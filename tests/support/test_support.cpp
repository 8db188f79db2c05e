#include "tests/support/test_support.h"

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <atomic>
#include <boost/asio.hpp>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "platform/os/os.h"

namespace vtps_test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device random;
  for (;;) {
    std::filesystem::path candidate =
        std::filesystem::temp_directory_path() /
        ("vtps-test-" + std::to_string(os::ProcessId()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(random() % 100000));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::uint16_t FreePort() {
  boost::asio::io_context io;
  boost::asio::ip::tcp::acceptor acceptor(
      io, boost::asio::ip::tcp::endpoint(boost::asio::ip::address_v4::loopback(), 0));
  return acceptor.local_endpoint().port();
}

std::string ServicesText(std::uint16_t serverPort, std::uint16_t ntrPort) {
  return "VantricProcessServer " + std::to_string(serverPort) + "/tcp\nNTR " +
         std::to_string(ntrPort) + "/tcp\n";
}

ServicePorts WriteServicesFile(const std::string& path) {
  ServicePorts ports{FreePort(), FreePort()};
  while (ports.ntr == ports.server)
    ports.ntr = FreePort();
  WriteFile(path, ServicesText(ports.server, ports.ntr));
  return ports;
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline)
      return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::string NativePath(const std::string& path) {
  if (os::PathSeparator() != '\\')
    return path;
  std::string native = path;
  for (char& c : native) {
    if (c == '/')
      c = '\\';
  }
  bool unixAbsolute =
      !native.empty() && native[0] == '\\' && (native.size() < 2 || native[1] != '\\');
  return unixAbsolute ? "Z:" + native : native;
}

std::string FileUrl(const std::string& path) {
  std::string url = NativePath(path);
  for (char& c : url) {
    if (c == '\\')
      c = '/';
  }
  return url.size() > 1 && url[1] == ':' ? "file:///" + url : "file://" + url;
}

std::string BuildProgram(const std::string& relativePath) {
  std::string path = std::string(VTPS_BUILD_DIR) + "/" + relativePath;
  if (os::PathSeparator() == '\\')
    path += ".exe";
  return NativePath(path);
}

}  // namespace vtps_test
