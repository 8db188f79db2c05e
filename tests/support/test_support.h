// Helpers the tests share: a temporary folder that removes itself, a free loopback port,
// file reading, and waiting for a condition with a deadline instead of sleeping.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace vtps_test {

// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The path of `name` inside the folder, as text.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A TCP port on 127.0.0.1 that nothing listened on a moment ago.
std::uint16_t FreePort();

// A services file's text giving "VantricProcessServer" and "NTR" these ports.
std::string ServicesText(std::uint16_t serverPort, std::uint16_t ntrPort);

// The ports a services file gives "VantricProcessServer" and "NTR".
struct ServicePorts {
  std::uint16_t server = 0;
  std::uint16_t ntr = 0;
};

// Two different free ports, written to `path` as a services file.
ServicePorts WriteServicesFile(const std::string& path);

// How many times `part` stands in `text`, overlapping occurrences counted.
std::size_t Occurrences(const std::string& text, const std::string& part);

// The whole content of a file, or "" when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// Polls `condition` until it holds or `timeout` has passed; returns its last result.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// The path of a program of this build, given relative to the build folder without its
// extension ("tests/kqm-test-server"). On Windows it gets ".exe", and a build folder given
// as a Unix path (a build under Wine) is reached through drive Z:.
std::string BuildProgram(const std::string& relativePath);

// The file: URL of a local path ("file:///tmp/x", "file:///Z:/tmp/x").
std::string FileUrl(const std::string& path);

// A path in this platform's spelling: under Wine a Unix path becomes "Z:\...".
std::string NativePath(const std::string& path);

}  // namespace vtps_test
