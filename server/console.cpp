#include "server/console.h"

#include <mutex>
#include <string>

void WriteConsoleLine(std::ostream& stream, std::string_view text) {
  static std::mutex mutex;
  std::string line(text);
  line += '\n';
  std::lock_guard<std::mutex> lock(mutex);
  stream.write(line.data(), static_cast<std::streamsize>(line.size()));
  stream.flush();
}
