// The local file-system path that a file URL or a plain path names: a pure function, with
// the path style passed in so that both styles are tested on every platform.
#pragma once

#include <string>
#include <string_view>

namespace kq_url {

enum class PathStyle { kPosix, kWindows };

// `file:///abs/dir`, `file://localhost/abs/dir` and `file:/abs/dir` give `/abs/dir`
// (percent escapes decoded); in the Windows style `file:///C:/dir` gives `C:\dir`, every `/`
// becomes `\` and `file://server/share` gives `\\server\share`. Text without a scheme is a
// plain path and comes back unchanged; a single letter before the colon is a drive, not a
// scheme. Throws std::invalid_argument saying why when the text is empty, has another
// scheme, names another host (POSIX style), has a query, fragment, bad or NUL escape, or
// names no path.
std::string LocalPathOf(std::string_view url, PathStyle style);

}  // namespace kq_url
