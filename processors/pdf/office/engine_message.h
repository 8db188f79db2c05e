// The messages between a converting processor and the engine that converts for it, over the
// engine's local socket: one request (the conversion's options, with the input and output
// files as open descriptors beside it) and one answer. A message is lines of "key=value";
// a key may repeat (the answer's warnings), a value is escaped so that it holds any byte.
// Pure functions on text; the socket is the callers'.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pdf::office {

// The first line of every message, so that a stray peer is refused at once.
inline constexpr const char* kMessageMagic = "vtps-engine=1";

class EngineMessage {
 public:
  void Add(std::string key, std::string value);
  // The first value of `key`, or nullopt.
  std::optional<std::string> Get(const std::string& key) const;
  // Every value of `key`, in order.
  std::vector<std::string> All(const std::string& key) const;
  const std::vector<std::pair<std::string, std::string>>& Items() const { return items_; }

  std::string Encode() const;
  // Returns nullopt when `text` does not start with kMessageMagic, a line has no "=", a key is
  // empty or not made of letters, digits and "-", or an escape is malformed.
  static std::optional<EngineMessage> Decode(const std::string& text);

 private:
  std::vector<std::pair<std::string, std::string>> items_;
};

}  // namespace pdf::office
