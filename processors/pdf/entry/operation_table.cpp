#include "processors/pdf/entry/operation_table.h"

#include <filesystem>

namespace pdf::entry {

const OperationEntry* FindOperation(const OperationTable& operations,
                                    const std::string& programPath) {
  std::string name = std::filesystem::path(programPath).filename().string();
  for (const OperationEntry& entry : operations)
    if (name == entry.program)
      return &entry;
  return nullptr;
}

}  // namespace pdf::entry
