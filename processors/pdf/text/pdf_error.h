// PdfError: the failure of a PDF operation as the client should read it. Its message becomes
// the answer's "error" element, so it names the parameter or the file concerned and never
// holds the VTPS_PDF_ROOT folder itself. Every room throws it, so it is in namespace pdf
// itself.
#pragma once

#include <new>
#include <stdexcept>
#include <string>

namespace pdf {

class PdfError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs `work` and returns what it returns. An exception a library throws becomes
// PdfError("<failure> (<its message>)"); PdfError and std::bad_alloc (which the run reports
// against the memory limit) pass as they are.
template <typename Work>
auto WithLibraryFailures(const std::string& failure, Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (const PdfError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError(failure + " (" + e.what() + ")");
  }
}

}  // namespace pdf
