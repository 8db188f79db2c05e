// NatsNode: a nats-server of the test's own (one, or a node of a cluster) on a free port,
// for the tests of the middleware over NATS. The node owns its process and ends it when it
// goes; its output goes to files in a folder the test owns. Use it from the test's thread.
#pragma once

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <boost/asio.hpp>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/os/child_process.h"
#include "tests/support/test_support.h"

namespace vtps_test {

inline constexpr const char* kNatsServer = "/usr/sbin/nats-server";

// A nats-server listening on a port of its own, ended when the object goes.
class NatsNode {
 public:
  // `clusterPort` 0: a single server; else it takes cluster routes on that port and
  // connects to `routes` ("nats://127.0.0.1:P,..."). `configuration`: the path of a
  // configuration file to start with ("" for none).
  NatsNode(const vtps_test::TempDir& dir, const std::string& name, std::uint16_t clusterPort = 0,
           const std::string& routes = "", const std::string& configuration = "")
      : dir_(dir), name_(name), port_(vtps_test::FreePort()) {
    arguments_ = {"-a", "127.0.0.1", "-p", std::to_string(port_)};
    if (!configuration.empty())
      arguments_.insert(arguments_.begin(), {"-c", configuration});
    if (clusterPort != 0) {
      arguments_.insert(arguments_.end(),
                        {"--cluster_name", "vtps", "--cluster",
                         "nats://127.0.0.1:" + std::to_string(clusterPort), "--routes", routes});
    }
    Start();
  }

  void Start() {
    os::ChildProcess::Options options;
    options.arguments = arguments_;
    options.stdoutPath = dir_.File(name_ + ".out");
    options.stderrPath = dir_.File(name_ + ".err");
    process_.emplace(os::ChildProcess::Start(kNatsServer, options));
    // Ready once it takes connections.
    EXPECT_TRUE(vtps_test::WaitUntil([&] {
      boost::asio::io_context io;
      boost::asio::ip::tcp::socket socket(io);
      boost::system::error_code error;
      socket.connect({boost::asio::ip::address_v4::loopback(), port_}, error);
      return !error;
    })) << name_
        << " does not take connections on port " << port_;
  }

  void Stop() {
    process_->Kill();
    process_->WaitFor(std::chrono::seconds(10));
    process_.reset();
  }

  std::string Url() const { return "nats://127.0.0.1:" + std::to_string(port_); }

 private:
  const vtps_test::TempDir& dir_;
  std::string name_;
  std::uint16_t port_;
  std::vector<std::string> arguments_;
  std::optional<os::ChildProcess> process_;
};

}  // namespace vtps_test
