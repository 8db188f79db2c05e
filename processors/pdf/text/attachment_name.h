// File names for embedded files written out of a PDF. An attachment's own name comes from
// the document and is hostile: it may hold path separators, "..", control characters,
// invalid UTF-8 or thousands of bytes, and several attachments may share one name. The
// names made here are single, visible file names that no two attachments share. Pure
// functions and a small value class; use an AttachmentNames object from one thread.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace pdf::text {

// The longest file name made, in bytes.
constexpr std::size_t kMaxAttachmentFileName = 200;

// `name` made a safe file name: the part after the last "/" or "\", control characters,
// invalid UTF-8 and ":" replaced by "_", a leading "." replaced by "_" (no hidden files, no
// "." or ".."), cut to kMaxAttachmentFileName bytes on a character boundary, and
// "attachment" when nothing is left.
std::string SafeFileName(const std::string& name);

// "report.pdf" numbered `number`: "report (2).pdf"; "README" gives "README (2)".
std::string NumberedFileName(const std::string& safeName, int number);

// Hands out file names no two attachments share and that `taken` says are free.
class AttachmentNames {
 public:
  explicit AttachmentNames(std::function<bool(const std::string&)> taken)
      : taken_(std::move(taken)) {}

  // A safe name for `name`, numbered where the safe name is given out already or taken.
  // Numbering goes on from the last number given for the same name, so that ten thousand
  // attachments of one name cost ten thousand lookups, not fifty million.
  std::string Next(const std::string& name);

 private:
  std::function<bool(const std::string&)> taken_;
  std::set<std::string> given_;
  std::map<std::string, int> nextNumber_;  // by safe name: the number to try next
};

}  // namespace pdf::text
