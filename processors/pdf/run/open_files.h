// What a run says when the system refuses to open one more file: a run holds its inputs, its
// output folders and some outputs open at once, and the descriptor limit (raised to the hard
// limit when the program starts) may be lower than a job needs. That failure names the limit
// instead of blaming the file. A function of the error number and the process's limit.
#pragma once

#include <string>

namespace pdf::run {

// The OS's text for `error` (an errno value), or, when it says that too many files are open
// (EMFILE, ENFILE), that the run needs more open files than the descriptor limit allows,
// naming the limit: "this run needs more open files than the descriptor limit of 1024 allows
// (ulimit -n)".
std::string OpenFailureText(int error);

}  // namespace pdf::run
