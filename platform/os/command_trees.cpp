// Which CommandTrees set a thread's runs go into (see os.h); the sets themselves are the
// platform's (command_posix.cpp, command_windows.cpp).
#include "platform/os/os.h"

namespace os {

namespace {

// The set of the innermost CommandTreeScope on this thread; null outside every scope.
thread_local CommandTrees* scoped = nullptr;

}  // namespace

CommandTrees& CommandTrees::Current() {
  if (scoped != nullptr)
    return *scoped;
  static CommandTrees process;
  return process;
}

CommandTreeScope::CommandTreeScope(CommandTrees& trees) : previous_(scoped) {
  scoped = &trees;
}

CommandTreeScope::~CommandTreeScope() {
  scoped = previous_;
}

}  // namespace os
