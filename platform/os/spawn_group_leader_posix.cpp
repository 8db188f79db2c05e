#include "platform/os/spawn_group_leader_posix.h"

#include <signal.h>
#include <spawn.h>

#include <string>
#include <system_error>

namespace os {

namespace {

// posix_spawn's attributes and file actions for a group leader, released when it is done.
class SpawnSettings {
 public:
  SpawnSettings() {
    posix_spawnattr_init(&attributes_);
    sigset_t signals;
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes_, &signals);
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes_, &signals);
    posix_spawnattr_setpgroup(&attributes_, 0);
    posix_spawnattr_setflags(
        &attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    posix_spawn_file_actions_init(&actions_);
    error_ = posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
  }
  ~SpawnSettings() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;

  // 0, or the error number of a setting that could not be made.
  int Error() const { return error_; }
  const posix_spawnattr_t* Attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* Actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
  int error_ = 0;
};

}  // namespace

std::string SpawnGroupLeader(const char* path, char* const argv[], char* const envp[],
                             pid_t& child) {
  SpawnSettings settings;
  int error = settings.Error();
  if (error == 0)
    error = ::posix_spawn(&child, path, settings.Actions(), settings.Attributes(), argv, envp);
  if (error != 0)
    return std::string("cannot start ") + path + ": " + std::generic_category().message(error);
  return "";
}

}  // namespace os
