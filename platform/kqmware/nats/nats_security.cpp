// How a connection to NATS is set up (see nats_security.h).
#include "platform/kqmware/nats/nats_security.h"

#include <fstream>
#include <sstream>

#include "platform/kqmware/nats/nats_nkey.h"
#include "platform/kqtypes/kq_exception.h"

namespace kqm {

namespace {

// The reason libnats gives for the last failure on this thread, without the source location
// it starts with ("(conn.c:733): SSL handshake error: ..."); the status's text without one.
std::string Reason(natsStatus status) {
  const char* last = nats_GetLastError(nullptr);
  std::string text = last != nullptr ? last : "";
  if (text.size() > 1 && text.front() == '(') {
    std::size_t end = text.find("): ");
    if (end != std::string::npos)
      text.erase(0, end + 3);
  }
  return text.empty() ? natsStatus_GetText(status) : text;
}

// Throws KQ_EException naming the setting `name` and its file `path` when the file cannot be
// read. libnats reads some files only when it connects, and names none of them well.
void RequireReadable(const char* name, const std::string& path) {
  if (!std::ifstream(path))
    throw KQ_EException(std::string(name) + " is \"" + path + "\": the file cannot be read");
}

// The whole text of the file `path` named by the setting `name`. Throws KQ_EException naming
// both when it cannot be read.
std::string ReadSettingFile(const char* name, const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  if (file)
    text << file.rdbuf();
  if (!file || file.bad())
    throw KQ_EException(std::string(name) + " is \"" + path + "\": the file cannot be read");
  return text.str();
}

// Applies the authentication and TLS settings to `options`. Throws KQ_EException naming the
// setting whose file or value libnats does not take.
void ApplySecurity(natsOptions* options, const NatsSecurity& security) {
  auto require = [](natsStatus status, const std::string& what) {
    if (status != NATS_OK)
      throw KQ_EException(what + ": " + Reason(status));
  };
  if (!security.credentialsFile.empty()) {
    RequireReadable("KQM_NATS_CREDS", security.credentialsFile);
    require(
        natsOptions_SetUserCredentialsFromFiles(options, security.credentialsFile.c_str(), nullptr),
        "KQM_NATS_CREDS is \"" + security.credentialsFile + "\"");
  }
  if (!security.nkeySeedFile.empty()) {
    std::string text = ReadSettingFile("KQM_NATS_NKEY_SEED", security.nkeySeedFile);
    std::string publicKey;
    try {
      std::string_view seed = FindNKeySeed(text);
      if (seed.empty())
        throw KQ_EException("the file holds no user NKey seed (a word starting with \"SU\")");
      publicKey = NKeyPublicKey(seed);
    } catch (const KQ_EException& error) {
      WipeSecret(text);
      throw KQ_EException("KQM_NATS_NKEY_SEED is \"" + security.nkeySeedFile +
                          "\": " + error.KQ_Message().Text());
    }
    WipeSecret(text);
    require(natsOptions_SetNKeyFromSeed(options, publicKey.c_str(), security.nkeySeedFile.c_str()),
            "KQM_NATS_NKEY_SEED is \"" + security.nkeySeedFile + "\"");
  }
  if (!security.token.empty())
    require(natsOptions_SetToken(options, security.token.c_str()), "KQM_NATS_TOKEN");
  if (!security.user.empty()) {
    require(natsOptions_SetUserInfo(options, security.user.c_str(), security.password.c_str()),
            "KQM_NATS_USER");
  }
  if (security.WantsTls())
    require(natsOptions_SetSecure(options, true), "TLS (KQM_NATS_TLS_CA, KQM_NATS_TLS_CERT)");
  if (!security.caFile.empty()) {
    RequireReadable("KQM_NATS_TLS_CA", security.caFile);
    require(natsOptions_LoadCATrustedCertificates(options, security.caFile.c_str()),
            "KQM_NATS_TLS_CA is \"" + security.caFile + "\": its certificates cannot be loaded");
  }
  if (!security.certificateFile.empty()) {
    RequireReadable("KQM_NATS_TLS_CERT", security.certificateFile);
    RequireReadable("KQM_NATS_TLS_KEY", security.keyFile);
    require(natsOptions_LoadCertificatesChain(options, security.certificateFile.c_str(),
                                              security.keyFile.c_str()),
            "KQM_NATS_TLS_CERT is \"" + security.certificateFile + "\" and KQM_NATS_TLS_KEY \"" +
                security.keyFile + "\": the certificate and its key cannot be loaded");
  }
}

// Why a connection to `urls` failed with `status`, naming the settings to look at.
std::string ConnectFailure(natsStatus status, const std::string& urls,
                           const NatsSecurity& security) {
  std::string reason = Reason(status);
  switch (status) {
    case NATS_CONNECTION_AUTH_FAILED:
    case NATS_NOT_PERMITTED: {
      std::string settings = security.AuthenticationSettings();
      return "NATS at " + urls + " refused the credentials: " + reason +
             (settings.empty() ? " (none are set: KQM_NATS_USER and KQM_NATS_PASSWORD, "
                                 "KQM_NATS_TOKEN, KQM_NATS_NKEY_SEED or KQM_NATS_CREDS)"
                               : " (check " + settings + ")");
    }
    case NATS_SSL_ERROR:
      return "TLS with NATS at " + urls + " failed: " + reason +
             (security.caFile.empty()
                  ? " (KQM_NATS_TLS_CA is not set: set it to the CA that signed the NATS "
                    "server's certificate)"
                  : " (is the NATS server's certificate signed by the CA in KQM_NATS_TLS_CA "
                    "and made out to the host in KQM_NATS_URL?)");
    case NATS_SECURE_CONNECTION_WANTED:
      return "NATS at " + urls +
             " offers no TLS, which KQM_NATS_TLS_CA or KQM_NATS_TLS_CERT ask for";
    case NATS_SECURE_CONNECTION_REQUIRED:
      return "NATS at " + urls +
             " requires TLS: set KQM_NATS_TLS_CA to the CA that signed its certificate";
    default:
      return "cannot reach NATS at " + urls + " (KQM_NATS_URL): " + StatusText(status);
  }
}

}  // namespace

std::string StatusText(natsStatus status) {
  const char* last = nats_GetLastError(nullptr);
  std::string text = natsStatus_GetText(status);
  if (last != nullptr && *last != '\0' && text != last)
    text += std::string(" (") + last + ")";
  return text;
}

bool PermissionRefused(natsConnection* connection) {
  const char* ignored = nullptr;
  return natsConnection_GetLastError(connection, &ignored) == NATS_NOT_PERMITTED;
}

natsOptions* MakeOptions(const std::string& urls, int connectTimeoutMs,
                         const NatsSecurity& security) {
  natsOptions* options = nullptr;
  natsStatus status = natsOptions_Create(&options);
  if (status == NATS_OK)
    status = natsOptions_SetURL(options, urls.c_str());
  if (status == NATS_OK && connectTimeoutMs > 0)
    status = natsOptions_SetTimeout(options, connectTimeoutMs);
  if (status == NATS_OK)
    status = natsOptions_SetMaxReconnect(options, -1);
  if (status == NATS_OK)
    status = natsOptions_SetReconnectWait(options, 250);
  // Requests and answers go out at once, not when libnats' flusher next runs (about a
  // millisecond later): a round trip is two messages.
  if (status == NATS_OK)
    status = natsOptions_SetSendAsap(options, true);
  if (status != NATS_OK) {
    natsOptions_Destroy(options);
    throw KQ_EException("KQM_NATS_URL is \"" + urls + "\": " + StatusText(status) +
                        "; expected nats://HOST:PORT, or several separated by commas");
  }
  try {
    ApplySecurity(options, security);
  } catch (...) {
    natsOptions_Destroy(options);
    throw;
  }
  return options;
}

natsConnection* Connect(natsOptions* options, const std::string& urls,
                        const NatsSecurity& security) {
  natsConnection* connection = nullptr;
  natsStatus status = natsConnection_Connect(&connection, options);
  natsOptions_Destroy(options);
  if (status != NATS_OK)
    throw KQ_EException(ConnectFailure(status, urls, security));
  return connection;
}

}  // namespace kqm
