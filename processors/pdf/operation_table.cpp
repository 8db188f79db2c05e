#include "processors/pdf/operation_table.h"

#include <filesystem>

#include "processors/pdf/operations.h"

const std::vector<OperationEntry>& Operations() {
  static const std::vector<OperationEntry> operations = {
      {"pdf-info", "PdfInfo", &PdfInfo},
      {"pdf-merge", "PdfMerge", &PdfMerge},
      {"pdf-extract", "PdfExtract", &PdfExtract},
      {"pdf-split", "PdfSplit", &PdfSplit},
      {"pdf-rotate", "PdfRotate", &PdfRotate},
      {"pdf-encrypt", "PdfEncrypt", &PdfEncrypt},
      {"pdf-decrypt", "PdfDecrypt", &PdfDecrypt},
      {"pdf-stamp", "PdfStamp", &PdfStamp},
      {"pdf-optimize", "PdfOptimize", &PdfOptimize},
      {"pdf-render", "PdfRender", &PdfRender},
      {"pdf-text", "PdfText", &PdfText},
      {"pdf-flatten", "PdfFlatten", &PdfFlatten},
      {"pdf-metadata", "PdfMetadata", &PdfMetadata},
      {"pdf-watermark", "PdfWatermark", &PdfWatermark},
      {"pdf-page-numbers", "PdfPageNumbers", &PdfPageNumbers},
      {"pdf-attachments", "PdfAttachments", &PdfAttachments},
      {"pdf-bookmarks", "PdfBookmarks", &PdfBookmarks},
      {"pdf-from-images", "PdfFromImages", &PdfFromImages},
      {"pdf-compress", "PdfCompress", &PdfCompress},
      {"pdf-repair", "PdfRepair", &PdfRepair},
      {"pdf-ocr", "PdfOcr", &PdfOcr},
  };
  return operations;
}

const OperationEntry* FindOperation(const std::string& programPath) {
  std::string name = std::filesystem::path(programPath).filename().string();
  for (const OperationEntry& entry : Operations())
    if (name == entry.program)
      return &entry;
  return nullptr;
}
