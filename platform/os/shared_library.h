// A shared library loaded while the program runs, for a large dependency only some runs
// need: linked into the program, it would be mapped, and its own dependencies with it, by
// every run. A loaded library stays loaded until the process ends (unloading one that has
// started threads is not safe). Linux only. Safe from any thread.
#pragma once

#include <string>

namespace os {

class SharedLibrary {
 public:
  // Loads the library `soname` ("libtesseract.so.5") as the dynamic loader finds it. On
  // failure the object is empty and `error` holds the loader's message.
  static SharedLibrary Load(const std::string& soname, std::string& error);

  bool Loaded() const { return handle_ != nullptr; }
  // The address of `symbol`, or null when the library does not have it.
  void* Symbol(const char* symbol) const;

 private:
  void* handle_ = nullptr;
};

}  // namespace os
