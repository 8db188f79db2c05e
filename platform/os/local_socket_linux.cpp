// Linux implementation of local sockets with open files in their messages.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/os/local_socket.h"

namespace os {
namespace {

std::string ErrorText(int error) {
  return std::strerror(error);
}

bool Address(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path)
    return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

FileHandle ListenLocal(const std::string& path, std::string& error) {
  sockaddr_un address;
  if (!Address(path, address)) {
    error = "cannot listen at " + path + ": the path is empty or longer than " +
            std::to_string(sizeof address.sun_path - 1) + " bytes";
    return {};
  }
  FileHandle socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket.Valid()) {
    error = "cannot listen at " + path + ": " + ErrorText(errno);
    return {};
  }
  // Only a socket file is replaced: anything else at the path is left for the error below.
  struct stat existing;
  if (::lstat(path.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode))
    ::unlink(path.c_str());
  if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket.Get(), 64) != 0) {
    error = "cannot listen at " + path + ": " + ErrorText(errno);
    return {};
  }
  return socket;
}

FileHandle AcceptLocal(const FileHandle& listener) {
  int connection;
  do {
    connection = ::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC);
  } while (connection < 0 && errno == EINTR);
  return FileHandle(connection);
}

FileHandle ConnectLocal(const std::string& path, int& error) {
  sockaddr_un address;
  if (!Address(path, address)) {
    error = ENAMETOOLONG;
    return {};
  }
  FileHandle socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!socket.Valid()) {
    error = errno;
    return {};
  }
  int result;
  do {
    result = ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    error = errno;
    return {};
  }
  error = 0;
  return socket;
}

std::string SendLocalMessage(const FileHandle& socket, const std::string& bytes,
                             const std::vector<const FileHandle*>& files) {
  if (bytes.empty() || bytes.size() > kMaxLocalMessageBytes)
    return "a message must hold 1 to " + std::to_string(kMaxLocalMessageBytes) + " bytes";
  if (files.size() > kMaxLocalMessageFiles)
    return "a message carries at most " + std::to_string(kMaxLocalMessageFiles) + " files";
  iovec part{const_cast<char*>(bytes.data()), bytes.size()};
  msghdr header{};
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxLocalMessageFiles)] = {};
  if (!files.empty()) {
    header.msg_control = control;
    header.msg_controllen = CMSG_SPACE(sizeof(int) * files.size());
    cmsghdr* rights = CMSG_FIRSTHDR(&header);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int) * files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
      int descriptor = files[i]->Get();
      std::memcpy(CMSG_DATA(rights) + i * sizeof(int), &descriptor, sizeof(int));
    }
  }
  ssize_t sent;
  do {
    sent = ::sendmsg(socket.Get(), &header, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0)
    return errno == EPIPE || errno == ECONNRESET ? "the peer has gone" : ErrorText(errno);
  return "";
}

Received ReceiveLocalMessage(const FileHandle& socket,
                             std::optional<std::chrono::milliseconds> timeout,
                             LocalMessage& message, std::string& error) {
  if (WaitReadable({socket.Get()}, timeout).empty())
    return Received::kTimeout;
  std::string buffer(kMaxLocalMessageBytes + 1, '\0');
  iovec part{buffer.data(), buffer.size()};
  msghdr header{};
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * (kMaxLocalMessageFiles + 4))];
  header.msg_control = control;
  header.msg_controllen = sizeof control;
  ssize_t received;
  do {
    received = ::recvmsg(socket.Get(), &header, MSG_CMSG_CLOEXEC);
  } while (received < 0 && errno == EINTR);
  if (received < 0) {
    error = ErrorText(errno);
    return errno == ECONNRESET ? Received::kClosed : Received::kFailed;
  }
  message.files.clear();
  for (cmsghdr* item = CMSG_FIRSTHDR(&header); item != nullptr; item = CMSG_NXTHDR(&header, item)) {
    if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_RIGHTS)
      continue;
    std::size_t count = (item->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (std::size_t i = 0; i < count; ++i) {
      int descriptor;
      std::memcpy(&descriptor, CMSG_DATA(item) + i * sizeof(int), sizeof(int));
      message.files.emplace_back(descriptor);
    }
  }
  if (received == 0 && message.files.empty())
    return Received::kClosed;
  if ((header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0 ||
      static_cast<std::size_t>(received) > kMaxLocalMessageBytes ||
      message.files.size() > kMaxLocalMessageFiles) {
    message.files.clear();
    error = "the message is larger than " + std::to_string(kMaxLocalMessageBytes) +
            " bytes or carries more than " + std::to_string(kMaxLocalMessageFiles) + " files";
    return Received::kFailed;
  }
  buffer.resize(static_cast<std::size_t>(received));
  message.bytes = std::move(buffer);
  return Received::kMessage;
}

std::vector<std::size_t> WaitReadable(const std::vector<int>& descriptors,
                                      std::optional<std::chrono::milliseconds> timeout) {
  std::vector<pollfd> waits;
  for (int descriptor : descriptors)
    waits.push_back({descriptor, POLLIN, 0});
  int milliseconds =
      timeout ? static_cast<int>(std::clamp<long long>(timeout->count(), 0, 1 << 30)) : -1;
  std::vector<std::size_t> ready;
  if (::poll(waits.data(), waits.size(), milliseconds) <= 0)
    return ready;
  for (std::size_t i = 0; i < waits.size(); ++i) {
    if (waits[i].revents != 0)
      ready.push_back(i);
  }
  return ready;
}

std::string PreparePrivateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
    return "cannot make the folder " + path + ": " + ErrorText(errno);
  FileHandle folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info;
  if (!folder.Valid() || ::fstat(folder.Get(), &info) != 0)
    return "cannot open the folder " + path + ": " + ErrorText(errno);
  if (info.st_uid != ::geteuid() || (info.st_mode & 077) != 0)
    return path + " is not a private folder of this user (it must be its own, mode 0700)";
  return "";
}

FileHandle TakeLock(const std::string& path) {
  FileHandle file(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file.Valid() || ::flock(file.Get(), LOCK_EX | LOCK_NB) != 0)
    return {};
  return file;
}

}  // namespace os
