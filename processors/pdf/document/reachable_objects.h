// Walking every object reachable from a starting object, each indirect object once, without
// recursion (a hostile file may nest or link objects arbitrarily deep). The walk reads
// objects through qpdf, so damaged ones become null as qpdf reads them. Use from one thread.
#pragma once

#include <qpdf/QPDFObjectHandle.hh>

#include <functional>
#include <set>
#include <string>

namespace pdf::document {

// Calls `visit(object, key)` for every stream reachable from `start`, where `key` is the
// dictionary key the stream was found under ("" inside arrays and for `start` itself) and
// `parentKey` that of the dictionary or array holding it. Dictionary entries whose key is
// in `skipKeys` are not followed. Indirect objects already in `seen` are not entered again,
// and every one entered is added, so several walks can share it.
void ForEachReachableStream(
    QPDFObjectHandle start, const std::set<std::string>& skipKeys, std::set<QPDFObjGen>& seen,
    const std::function<void(QPDFObjectHandle stream, const std::string& key,
                             const std::string& parentKey)>& visit);

// How deep a depth-first walk from `start` nests: dictionaries and arrays, direct or
// indirect, each one level, every indirect object entered once (a chain of N name-tree
// nodes is 2N deep: each node and its /Kids array). Stops counting at `stopAt`. What a
// recursive walk of the same objects (qpdf's linearization is one) needs of the stack.
long long DeepestNesting(QPDFObjectHandle start, long long stopAt);

}  // namespace pdf::document
