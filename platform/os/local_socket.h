// Local (Unix-domain) sockets between the programs of one machine: a listener bound to a path
// in a private folder, connections to it, and messages that carry open files with them
// (SCM_RIGHTS), so that a program can hand another the files it opened without the other
// ever resolving a path. The sockets are SOCK_SEQPACKET: a message arrives whole or not at
// all. Linux only. The handles returned are the caller's; every call is safe from any thread
// on sockets that thread uses alone.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/folder_files.h"

namespace os {

// The largest message, and the most files one may carry.
inline constexpr std::size_t kMaxLocalMessageBytes = 64 * 1024;
inline constexpr std::size_t kMaxLocalMessageFiles = 4;

// A message as received: its bytes and the files that came with it, now open in this process.
struct LocalMessage {
  std::string bytes;
  std::vector<FileHandle> files;
};

// Binds a listening socket at `path`, replacing a socket file left there by a listener that
// has ended (the caller must hold whatever lock makes it the only listener for the path).
// The socket is non-blocking, so that Accept never waits. Returns an invalid handle and sets
// `error` to "cannot listen at PATH: REASON" on failure.
FileHandle ListenLocal(const std::string& path, std::string& error);

// Accepts one waiting connection of `listener`; an invalid handle when none is waiting or it
// failed. The connection blocks.
FileHandle AcceptLocal(const FileHandle& listener);

// Connects to the listener at `path`. Returns an invalid handle on failure and sets `error`
// to the errno (ENOENT or ECONNREFUSED when nothing listens there).
FileHandle ConnectLocal(const std::string& path, int& error);

// Sends one message of at most kMaxLocalMessageBytes with at most kMaxLocalMessageFiles open
// files. Returns "" or the reason it could not be sent ("the peer has gone", ...).
std::string SendLocalMessage(const FileHandle& socket, const std::string& bytes,
                             const std::vector<const FileHandle*>& files = {});

enum class Received { kMessage, kClosed, kTimeout, kFailed };

// Receives one message into `message`, waiting at most `timeout` (without one, as long as it
// takes). kClosed: the peer closed the connection first; kFailed: `error` says why (a
// message too large, or carrying more files than allowed, is refused and its files closed).
Received ReceiveLocalMessage(const FileHandle& socket,
                             std::optional<std::chrono::milliseconds> timeout,
                             LocalMessage& message, std::string& error);

// Waits until one of `descriptors` can be read (or has been closed by its peer, or, for a
// process descriptor, its process has ended), at most `timeout` (without one, as long as it
// takes). Returns the positions of those that can, empty when the time passed; a signal
// ends the wait early with an empty result too.
std::vector<std::size_t> WaitReadable(const std::vector<int>& descriptors,
                                      std::optional<std::chrono::milliseconds> timeout);

// Makes the folder `path` (mode 0700) where it does not exist, and checks that it is a folder
// (not a link) of this user that no one else may enter. Returns "" or what is wrong.
std::string PreparePrivateFolder(const std::string& path);

// Takes an exclusive lock on the file `path` (made, mode 0600, where missing; a link is not
// followed), held as long as the returned handle is open; invalid when another process
// holds it or the file cannot be opened.
FileHandle TakeLock(const std::string& path);

}  // namespace os
