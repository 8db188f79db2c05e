#include "processors/pdf/run/file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "processors/pdf/run/open_files.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

namespace {

// A stream on the file, read from its start (the descriptor's offset is shared with others
// that read it before, such as qpdf).
std::unique_ptr<std::FILE, int (*)(std::FILE*)> OpenFromStart(const os::FileHandle& file,
                                                              const std::string& what) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(os::OpenStream(file, "rb"), &std::fclose);
  if (!stream || std::fseek(stream.get(), 0, SEEK_SET) != 0)
    throw PdfError(what + " cannot be read (" + OpenFailureText(errno) + ")");
  return stream;
}

}  // namespace

std::string ReadFileStart(const os::FileHandle& file, const std::string& what, std::size_t bytes) {
  auto stream = OpenFromStart(file, what);
  std::string start(bytes, '\0');
  start.resize(std::fread(start.data(), 1, bytes, stream.get()));
  if (std::ferror(stream.get()))
    throw PdfError(what + " cannot be read (" + OpenFailureText(errno) + ")");
  return start;
}

std::string ReadWholeFile(const os::FileHandle& file, const std::string& what, long long maxBytes,
                          const std::string& setting) {
  std::uint64_t size = os::Describe(file).size;
  if (size > static_cast<std::uint64_t>(maxBytes))
    throw PdfError(what + " holds " + std::to_string(size) + " bytes; at most " +
                   std::to_string(maxBytes) + " (" + setting + ")");
  auto stream = OpenFromStart(file, what);
  std::string content;
  char buffer[1 << 16];
  std::size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof buffer, stream.get())) > 0) {
    // The file may grow while it is read; the limit holds for what is read.
    if (content.size() + read > static_cast<std::uint64_t>(maxBytes))
      throw PdfError(what + " holds more than " + std::to_string(maxBytes) + " bytes (" + setting +
                     ")");
    content.append(buffer, read);
  }
  if (std::ferror(stream.get()))
    throw PdfError(what + " cannot be read (" + std::strerror(errno) + ")");
  return content;
}

void CopyFileTo(const os::FileHandle& file, const std::string& what, const OutputFile& output,
                OutputBudget& budget) {
  auto stream = OpenFromStart(file, what);
  BudgetedFile out(os::OpenStream(output.File(), "wb"), output.Label(), budget);
  unsigned char buffer[1 << 16];
  std::size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof buffer, stream.get())) > 0)
    out.Write(buffer, read);
  if (std::ferror(stream.get()))
    throw PdfError(what + " cannot be read (" + std::strerror(errno) + ")");
  out.Close();
}

}  // namespace pdf::run
