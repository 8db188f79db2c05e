// vtps-pdf-draw: the PDF processor of the operations that draw pages with poppler, as images
// (pdf-render), as text (pdf-text) or for recognition (pdf-ocr), started by the server as
// `PROGRAM -r -i JOBFILE`.
#include "processors/pdf/operation_table.h"
#include "processors/pdf/processor_main.h"

int main(int argc, char** argv) {
  return RunProcessor(argc, argv, DrawingOperations());
}
