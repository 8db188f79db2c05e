// The middleware over a secured NATS across processes: TLS with client certificates, users
// and NKeys with permissions, and how each refusal reaches the caller and the instance.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/kqmware/kqmware.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/child_process.h"
#include "platform/os/os.h"
#include "tests/nats_node.h"
#include "tests/nats_process_fixture.h"
#include "tests/support/test_support.h"

namespace {

using vtps_test::NatsNode;
using vtps_test::NatsProcess;

// A nats-server that requires TLS, with a certificate from every client (made at run time
// with openssl by a CA of the test's own), and users with permissions:
//   instance  may subscribe to the service's subject in its queue group and to its status
//             subject, and publish replies only;
//   caller    may publish to the service's subjects and subscribe to its inboxes;
//   nopub     a caller that may publish to another service only;
//   noreply   an instance that may take the service's requests but not answer them;
//   nosub     an instance that may subscribe to another service only.
// A caller may also authenticate with an NKey seed instead (RFC 8032's first test key).
class SecuredNats : public NatsProcess {
 protected:
  static constexpr const char* kNKeySeed =
      "SUAJ2YNRTXX72WTAXKCEV5ES5QWMIRCJYVUXWMTJDFYDXLADDSXH6YALCA";
  static constexpr const char* kNKeyPublic =
      "UDLVVGABQKYQVN6VJP7NHSLEA45A5YLS6PNKMIZFV4BBU2HXA5IRUVAL";
  static constexpr int kRequestTimeoutMs = 20000;

  void SetUp() override {
    NatsProcess::SetUp();
    if (IsSkipped())
      return;
    MakeCertificates();
    std::string caller = R"(permissions: { publish: ["kqm.TestService", "kqm.TestService.status"],
                                           subscribe: ["_INBOX.>"] })";
    vtps_test::WriteFile(
        dir_.File("nats.conf"),
        "tls {\n  cert_file: \"" + dir_.File("server.pem") + "\"\n  key_file: \"" +
            dir_.File("server.key") + "\"\n  ca_file: \"" + dir_.File("ca.pem") +
            "\"\n  verify: true\n}\n"
            "authorization {\n  users = [\n"
            "    { user: instance, password: instance-secret, permissions: {\n"
            "        subscribe: [\"kqm.TestService TestService\", \"kqm.TestService.status\"],\n"
            "        allow_responses: true } }\n"
            "    { user: caller, password: caller-secret, " +
            caller +
            " }\n"
            "    { nkey: " +
            kNKeyPublic + ", " + caller +
            " }\n"
            "    { user: nopub, password: nopub-secret, permissions: {\n"
            "        publish: [\"kqm.OtherService\"], subscribe: [\"_INBOX.>\"] } }\n"
            "    { user: noreply, password: noreply-secret, permissions: {\n"
            "        subscribe: [\"kqm.TestService TestService\", \"kqm.TestService.status\"],\n"
            "        publish: [\"kqm.OtherService\"] } }\n"
            "    { user: nosub, password: nosub-secret, permissions: {\n"
            "        subscribe: [\"kqm.OtherService OtherService\", \"kqm.OtherService.status\"],\n"
            "        allow_responses: true } }\n"
            "  ]\n}\n");
    vtps_test::WriteFile(dir_.File("caller.seed"), std::string(kNKeySeed) + "\n");
    nats_.emplace(dir_, "nats", 0, "", dir_.File("nats.conf"));
    UseNats(nats_->Url());
    client_.requestTimeoutMs = kRequestTimeoutMs;
  }

  // Makes a CA, and certificates for 127.0.0.1 it signs for the server and the clients.
  void MakeCertificates() {
    vtps_test::WriteFile(dir_.File("san.cnf"), "subjectAltName=IP:127.0.0.1\n");
    std::string in = "cd '" + dir_.Path().string() + "' && ";
    std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    std::vector<std::string> steps = {
        "openssl req -x509" + key + "-keyout ca.key -out ca.pem -days 1 -subj /CN=vtps-test-ca",
    };
    for (const char* name : {"server", "client"}) {
      std::string n = name;
      steps.push_back("openssl req" + key + "-keyout " + n + ".key -out " + n +
                      ".csr -subj /CN=127.0.0.1");
      steps.push_back("openssl x509 -req -in " + n + ".csr -CA ca.pem -CAkey ca.key " +
                      "-CAcreateserial -out " + n + ".pem -days 1 -extfile san.cnf");
    }
    for (const std::string& step : steps)
      ASSERT_EQ(os::RunCommandLine(in + step + " >>openssl.log 2>&1"), 0)
          << step << "\n"
          << vtps_test::ReadFile(dir_.File("openssl.log"));
  }

  // Every NATS security setting: as `overrides` say, the rest as a caller's with TLS. Empty
  // values are unset.
  std::vector<std::pair<std::string, std::string>> Settings(
      const std::map<std::string, std::string>& overrides) const {
    std::map<std::string, std::string> settings = {
        {"KQM_NATS_CREDS", ""},
        {"KQM_NATS_NKEY_SEED", ""},
        {"KQM_NATS_TOKEN", ""},
        {"KQM_NATS_USER", "caller"},
        {"KQM_NATS_PASSWORD", "caller-secret"},
        {"KQM_NATS_TLS_CA", dir_.File("ca.pem")},
        {"KQM_NATS_TLS_CERT", dir_.File("client.pem")},
        {"KQM_NATS_TLS_KEY", dir_.File("client.key")},
    };
    for (const auto& [name, value] : overrides)
      settings[name] = value;
    return {settings.begin(), settings.end()};
  }

  // Gives this process's clients the settings.
  void UseSettings(const std::map<std::string, std::string>& overrides) {
    std::vector<std::pair<std::string, std::string>> settings = Settings(overrides);
    client_.natsSecurity = kqm::ParseNatsSecurity([&](const char* name) {
      for (const auto& [setting, value] : settings) {
        if (setting == name && !value.empty())
          return std::optional<std::string>(value);
      }
      return std::optional<std::string>();
    });
  }

  os::ChildProcess& StartSecuredInstance(const std::string& user, const std::string& password) {
    return StartInstance(nats_->Url(),
                         Settings({{"KQM_NATS_USER", user}, {"KQM_NATS_PASSWORD", password}}));
  }

  // The message of the failure of an "Echo" call, and whether it came well before the
  // request timeout.
  std::pair<std::string, bool> FailedCall() const {
    auto started = std::chrono::steady_clock::now();
    std::string message = "(answered)";
    try {
      Call("Echo", "x");
    } catch (const KQ_EException& error) {
      message = error.KQ_Message().Text();
    }
    bool early = std::chrono::steady_clock::now() - started <
                 std::chrono::milliseconds(kRequestTimeoutMs / 2);
    return {message, early};
  }

  std::optional<NatsNode> nats_;
};

TEST_F(SecuredNats, TheSecuredClusterServes) {
  StartSecuredInstance("instance", "instance-secret");
  StartSecuredInstance("instance", "instance-secret");
  UseSettings({});
  ASSERT_TRUE(WaitForInstances(2)) << vtps_test::ReadFile(dir_.File("instance0.log"));
  // A call that fails says why (the middleware's exceptions are not std::exception).
  auto echoes = [this](const KQ_TAny& value) {
    try {
      return Call("Echo", value) == value;
    } catch (const KQ_EException& error) {
      ADD_FAILURE() << "Echo failed: " << error.KQ_Message().Text();
      return false;
    }
  };
  for (int i = 0; i < 10; ++i)
    EXPECT_TRUE(echoes(KQ_TAny(KQ_TInt(i))));
  // The same caller's permissions through an NKey instead of a password.
  UseSettings({{"KQM_NATS_USER", ""},
               {"KQM_NATS_PASSWORD", ""},
               {"KQM_NATS_NKEY_SEED", dir_.File("caller.seed")}});
  EXPECT_TRUE(echoes(KQ_TAny("signed")));
  try {
    EXPECT_EQ(Statuses().size(), 2u);
  } catch (const KQ_EException& error) {
    ADD_FAILURE() << "the status probe failed: " << error.KQ_Message().Text();
  }
  // The instances' user may not subscribe to the services API: they serve without it.
  EXPECT_NE(vtps_test::ReadFile(dir_.File("instance0.log"))
                .find("the NATS services API is not answered: the NATS user may not subscribe"),
            std::string::npos);
}

TEST_F(SecuredNats, AWrongPasswordFailsAtOnceNamingTheCause) {
  UseSettings({{"KQM_NATS_PASSWORD", "wrong"}});
  auto [message, early] = FailedCall();
  EXPECT_NE(message.find("refused the credentials: Authorization Violation"), std::string::npos)
      << message;
  EXPECT_NE(message.find("KQM_NATS_USER and KQM_NATS_PASSWORD"), std::string::npos) << message;
  EXPECT_TRUE(early) << message;

  os::ChildProcess& instance = StartSecuredInstance("instance", "wrong");
  EXPECT_EQ(instance.WaitFor(std::chrono::seconds(20)), 1);
  std::string err = vtps_test::ReadFile(dir_.File("instance0.err"));
  EXPECT_NE(err.find("refused the credentials: Authorization Violation"), std::string::npos) << err;
}

TEST_F(SecuredNats, AServerCertificateFromAnUntrustedCaFailsAtOnceNamingTheCause) {
  UseSettings({{"KQM_NATS_TLS_CA", ""}});
  auto [message, early] = FailedCall();
  EXPECT_NE(message.find("TLS with NATS at " + nats_->Url() + " failed"), std::string::npos)
      << message;
  EXPECT_NE(message.find("certificate"), std::string::npos) << message;
  EXPECT_NE(message.find("KQM_NATS_TLS_CA is not set"), std::string::npos) << message;
  EXPECT_TRUE(early) << message;
}

TEST_F(SecuredNats, ACallerWithoutPublishPermissionFailsAtOnceNamingTheCause) {
  StartSecuredInstance("instance", "instance-secret");
  UseSettings({});
  ASSERT_TRUE(WaitForInstances(1));
  UseSettings({{"KQM_NATS_USER", "nopub"}, {"KQM_NATS_PASSWORD", "nopub-secret"}});
  auto [message, early] = FailedCall();
  EXPECT_NE(message.find("permissions violation: the NATS user may not publish to kqm.TestService"),
            std::string::npos)
      << message;
  EXPECT_TRUE(early) << message;
}

TEST_F(SecuredNats, AServerWithoutSubscribePermissionFailsAtStart) {
  os::ChildProcess& instance = StartSecuredInstance("nosub", "nosub-secret");
  EXPECT_EQ(instance.WaitFor(std::chrono::seconds(20)), 1);
  std::string err = vtps_test::ReadFile(dir_.File("instance0.err"));
  EXPECT_NE(err.find("cannot subscribe the service TestService"), std::string::npos) << err;
  EXPECT_NE(err.find("permissions violation: the NATS user may not subscribe to kqm.TestService"),
            std::string::npos)
      << err;
}

TEST_F(SecuredNats, AServingInstanceLogsTheErrorsNatsReports) {
  // May take requests but not answer them: NATS refuses each answer, asynchronously.
  StartSecuredInstance("noreply", "noreply-secret");
  UseSettings({});
  client_.requestTimeoutMs = 500;
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    try {
      Call("Echo", "unanswered");
    } catch (const KQ_EException& error) {
      EXPECT_EQ(error.KQ_Message().Text().find("permissions violation"), std::string::npos);
    }
    return vtps_test::ReadFile(dir_.File("instance0.log"))
               .find(" 0 NATS reports an error: Not Permitted (a permissions violation") !=
           std::string::npos;
  })) << vtps_test::ReadFile(dir_.File("instance0.log"));
}

}  // namespace
