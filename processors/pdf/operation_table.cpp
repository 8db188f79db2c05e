#include "processors/pdf/operation_table.h"

#include <filesystem>

#include "processors/pdf/operations.h"

const OperationTable& DocumentOperations() {
  static const OperationTable operations = {
      {"pdf-info", "PdfInfo", &PdfInfo},
      {"pdf-merge", "PdfMerge", &PdfMerge},
      {"pdf-extract", "PdfExtract", &PdfExtract},
      {"pdf-split", "PdfSplit", &PdfSplit},
      {"pdf-rotate", "PdfRotate", &PdfRotate},
      {"pdf-encrypt", "PdfEncrypt", &PdfEncrypt},
      {"pdf-decrypt", "PdfDecrypt", &PdfDecrypt},
      {"pdf-stamp", "PdfStamp", &PdfStamp},
      {"pdf-optimize", "PdfOptimize", &PdfOptimize},
      {"pdf-flatten", "PdfFlatten", &PdfFlatten},
      {"pdf-watermark", "PdfWatermark", &PdfWatermark},
      {"pdf-page-numbers", "PdfPageNumbers", &PdfPageNumbers},
      {"pdf-attachments", "PdfAttachments", &PdfAttachments},
      {"pdf-bookmarks", "PdfBookmarks", &PdfBookmarks},
      {"pdf-from-images", "PdfFromImages", &PdfFromImages},
      {"pdf-compress", "PdfCompress", &PdfCompress},
      {"pdf-repair", "PdfRepair", &PdfRepair},
  };
  return operations;
}

const OperationEntry* FindOperation(const OperationTable& operations,
                                    const std::string& programPath) {
  std::string name = std::filesystem::path(programPath).filename().string();
  for (const OperationEntry& entry : operations)
    if (name == entry.program)
      return &entry;
  return nullptr;
}
