// PathResolver turns the paths a job names into the paths the operation opens. With a root
// folder (VTPS_PDF_ROOT) every path is taken relative to it and must stay inside it once
// ".." and symbolic links are resolved; without one, paths are used as given, which is
// only fit for trusted clients.
//
// The resolver only looks at the file system; it never creates or changes anything. A
// check and the later open are separate steps, so a client that can change links inside
// the root while a job runs can still race it. Safe to use from any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

class PathResolver {
 public:
  // Without `root` (or with an empty one) paths are used as given. Throws PdfError when the
  // root is not an existing folder.
  explicit PathResolver(const std::optional<std::string>& root);

  // The path to open for the text `given` of `parameter`. Throws PdfError naming the
  // parameter when the text is empty or holds a control character, and, with a root, when
  // it is absolute or leads outside the root.
  std::filesystem::path Resolve(const std::string& given, const std::string& parameter) const;

  bool Confined() const { return root_.has_value(); }

 private:
  std::optional<std::filesystem::path> root_;  // canonical
};
