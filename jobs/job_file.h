// The job file: the XML file through which the server hands a request's parameters to a
// processor program and gets its answer back. This unit names the file, writes a tree into
// it and reads the answer tree back; the element scheme is that of mapping/dict_to_tree.h.
//
// A job file the server writes is created exclusively, readable and writable by its owner
// only (WriteNewJobFile). The file is written exactly as the tree library writes it: the
// declaration
// `<?xml version="1.0" encoding="utf-8"?>` on its own line, then the tree's elements with one
// tab per level, no root element added. Reading refuses documents whose elements nest
// deeper than xml_depth::kMaxXmlDepth (512) levels, which would otherwise overflow the
// reader's stack.
//
// The functions keep no state and take no lock; they are safe to call from any thread, each
// call on its own path.
#pragma once

#include <cstdint>
#include <string>

#include <boost/property_tree/ptree.hpp>

#include "platform/kqtypes/kq_string.h"
#include "platform/kqtypes/kq_url.h"

// The job file name: "_VTPS_", the method as it prints itself, "_", `seconds` (seconds since
// 1970), "_", `threadId`, ".xml"; the numbers in plain decimal. Nothing else enters it, so
// one method asked twice in the same second on the same thread gets the same name.
std::string JobFileName(const KQ_TString& method, std::int64_t seconds, std::uint32_t threadId);

// The job file path: the local path of `workingDirectory`, `separator`, and JobFileName.
// The local path is used unchanged; the separator is appended even when it already ends in
// one, as processors may rely on the exact text. The folder is neither checked nor created.
// Throws KQ_EException (from KQ_TURL::ToLocalPath) when the URL names no local path.
std::string JobFilePath(const KQ_TURL& workingDirectory, const KQ_TString& method,
                        std::int64_t seconds, std::uint32_t threadId, char separator);

// `path` for `number` 1; otherwise "<path without .xml>_<number>.xml" (the number goes at
// the end of a path without ".xml"): the names a job file takes when a kept file has the
// one before.
std::string NumberedJobFilePath(const std::string& path, unsigned number);

// How many numbered names WriteNewJobFile tries before it gives up.
inline constexpr unsigned kMaxJobFileNumber = 10'000;

// The job file path for a request of `method` now: JobFilePath with the current time, the
// calling thread's id and the platform's path separator. Nothing is checked or created.
// Throws KQ_EException when the working directory names no local path.
std::string MakeJobFilePath(const KQ_TURL& workingDirectory, const KQ_TString& method);

// Writes `tree` as WriteJobFile does, into a new file: the first of NumberedJobFilePath(path,
// 1, 2, ...) that nothing has yet, created exclusively by os::CreateNewFile (the check and
// the creation are one step; a link is never followed; mode 0600 on POSIX). A job file is
// still there only when it was kept (a failed run, or a debug level that keeps them all),
// and a later request of the same method in the same second on the same thread must not
// overwrite it. Returns the path written. Throws boost::property_tree::xml_parser_error
// naming a path: "cannot create <path>: <the OS's reason>" when the creation is refused for
// another reason than an existing name (a missing or unwritable folder; nothing was made),
// "cannot create <path> or any of the N numbered names after it" when kMaxJobFileNumber
// names are taken; kJobFileWriteError naming the path made, when a write, the flush or the
// close fails (the file then stays as far as it was written).
std::string WriteNewJobFile(const boost::property_tree::ptree& tree, const std::string& path);

// The message of the xml_parser_error WriteJobFile and WriteNewJobFile throw when a file
// they made or opened could not be written whole.
inline constexpr const char* kJobFileWriteError = "write error";

// Writes `tree` to `path` as XML (settings: tab, 1 per level, encoding "utf-8"), creating
// the file or truncating it (through a link too: for files whose folder only its owner
// writes, such as a processor's own outputs). Throws boost::property_tree::xml_parser_error
// naming the path: "cannot open file" when it cannot be opened, "write error" when any write fails,
// including the final flush and close (a full disk is never reported as success). After a failed
// write the file stays as far as it was written.
void WriteJobFile(const boost::property_tree::ptree& tree, const std::string& path);

// Reads the XML file at `path` into a new tree, as the tree library reads it with flags 0:
// text kept untrimmed, comments as "<xmlcomment>" children, attributes under "<xmlattr>".
// Never throws and logs nothing: a file that is missing, unreadable, malformed or nested
// deeper than xml_depth::kMaxXmlDepth element levels gives an empty tree.
boost::property_tree::ptree ReadJobFile(const std::string& path);

// ReadJobFile that also says why a file that could be opened gave an empty tree: `problem`
// is "read error", "malformed XML[: <the reader's message> (line N)]", "elements nested
// deeper than 512 levels" or the text of another failure; it is empty when the file was
// read, and when it could not be opened (a processor may remove it to answer nothing).
boost::property_tree::ptree ReadJobFile(const std::string& path, std::string& problem);
