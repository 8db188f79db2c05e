#include "processors/pdf/run/open_files.h"

#include <cerrno>

#include "platform/os/os.h"

namespace pdf::run {

std::string OpenFailureText(int error) {
  // The limit was raised when the program started; asking again only reads it.
  if (error == EMFILE)
    return "this run needs more open files than the descriptor limit of " +
           std::to_string(os::RaiseDescriptorLimit()) + " allows (ulimit -n)";
  if (error == ENFILE)
    return "this run needs more open files than the system's limit allows (fs.file-max)";
  return os::ErrorText(error);
}

}  // namespace pdf::run
