// KQM_TSocket describes one client connection of a server: its number and its peer. A
// server hands it to ConnectionAdded / ConnectionDropped; it is a plain value.
#pragma once

#include <cstdint>
#include <string>

class KQM_TSocket {
 public:
  KQM_TSocket(std::uint64_t id, std::string peerAddress, std::uint16_t peerPort)
      : id_(id), peerAddress_(std::move(peerAddress)), peerPort_(peerPort) {}

  // Numbers connections of one server from 1 in the order they were accepted.
  std::uint64_t Id() const { return id_; }
  const std::string& PeerAddress() const { return peerAddress_; }
  std::uint16_t PeerPort() const { return peerPort_; }
  // "3 (127.0.0.1:50122)"
  std::string Describe() const;

 private:
  std::uint64_t id_;
  std::string peerAddress_;
  std::uint16_t peerPort_;
};
