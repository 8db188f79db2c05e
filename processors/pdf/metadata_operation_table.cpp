#include "processors/pdf/operation_table.h"
#include "processors/pdf/operations.h"

const OperationTable& MetadataOperations() {
  static const OperationTable operations = {
      {"pdf-metadata", "PdfMetadata", &PdfMetadata},
  };
  return operations;
}
