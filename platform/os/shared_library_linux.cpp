#include "platform/os/shared_library.h"

#include <dlfcn.h>

namespace os {

SharedLibrary SharedLibrary::Load(const std::string& soname, std::string& error) {
  SharedLibrary library;
  library.handle_ = ::dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library.handle_ == nullptr) {
    const char* message = ::dlerror();
    error = message != nullptr ? message : soname + " cannot be loaded";
  }
  return library;
}

void* SharedLibrary::Symbol(const char* symbol) const {
  return handle_ == nullptr ? nullptr : ::dlsym(handle_, symbol);
}

}  // namespace os
