#include "platform/kqmware/kqm_socket.h"

std::string KQM_TSocket::Describe() const {
  return std::to_string(id_) + " (" + peerAddress_ + ":" + std::to_string(peerPort_) + ")";
}
