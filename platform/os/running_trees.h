// RunningTrees, the record behind a CommandTrees set, shared by the platforms' files of the
// OS seam: each tree with its handle (a POSIX process group, a Windows job object) and
// whether EndAll ended it. A tree is recorded before its process is made and told its handle
// once the process is in it, so that spawning takes the lock only briefly and EndAll never
// misses a tree that is starting. `End` ends the tree of a handle at once. Thread-safe.
#pragma once

#include <list>
#include <mutex>

namespace os {

template <typename Handle, void (*End)(Handle)>
class RunningTrees {
 public:
  struct Tree {
    Handle handle{};  // empty while the tree starts
    bool ended = false;
  };
  using Entry = typename std::list<Tree>::iterator;

  Entry Add() {
    std::lock_guard<std::mutex> lock(mutex_);
    return trees_.emplace(trees_.end());
  }

  // The tree's process is in `handle`: ended at once when EndAll came while it started.
  void Started(Entry tree, Handle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    tree->handle = handle;
    if (tree->ended)
      End(handle);
  }

  // Forgets the tree; true when EndAll ended it. The caller still owns the handle.
  bool Remove(Entry tree) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool ended = tree->ended;
    trees_.erase(tree);
    return ended;
  }

  // Ends every tree recorded and not ended yet; returns how many.
  int EndAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (Tree& tree : trees_) {
      if (!tree.ended) {
        tree.ended = true;
        if (tree.handle != Handle{})
          End(tree.handle);
        ++count;
      }
    }
    return count;
  }

 private:
  std::mutex mutex_;
  std::list<Tree> trees_;  // guarded by mutex_
};

}  // namespace os
