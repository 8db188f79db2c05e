// QuietStandardError: standard error pointed at /dev/null while it lives. qpdf is told to
// keep its warnings, but poppler and the libraries under it (its allocator's "Out of
// memory", font and image decoders) write to standard error on their own; a processor's
// standard error belongs to its own usage and answer errors. One object at a time, on the
// main thread.
#pragma once

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
