// QuietStandardError: standard error pointed at /dev/null while it lives, for programs whose
// libraries write to standard error on their own (the PDF programs' poppler, its allocator's
// "Out of memory", font and image decoders). POSIX only. One object at a time, on the main
// thread.
#pragma once

namespace os {

class QuietStandardError {
 public:
  // Points file descriptor 2 at /dev/null; does nothing when that fails.
  QuietStandardError();
  // Points it back.
  ~QuietStandardError();
  QuietStandardError(const QuietStandardError&) = delete;
  QuietStandardError& operator=(const QuietStandardError&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace os
