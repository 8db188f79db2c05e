// The system's text for a Windows error code (GetLastError), for the Windows files of the OS
// seam. Windows only.
#pragma once

#include <string>

namespace os {

// The text FormatMessage gives `error`, without its closing line end and full stop; "error N"
// when it has none.
std::string SystemErrorText(unsigned long error);

}  // namespace os
