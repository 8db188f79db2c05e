#include "processors/pdf/operation_table.h"
#include "processors/pdf/operations.h"

const OperationTable& DrawingOperations() {
  static const OperationTable operations = {
      {"pdf-render", "PdfRender", &PdfRender},
      {"pdf-text", "PdfText", &PdfText},
      {"pdf-ocr", "PdfOcr", &PdfOcr},
  };
  return operations;
}
