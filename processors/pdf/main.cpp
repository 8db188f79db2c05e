// vtps-pdf: the PDF processor of the document operations (libqpdf, with libpng and libjpeg
// for images), linked under the name of each (pdf-info, pdf-merge, ...) and started by the
// server as `PROGRAM -r -i JOBFILE`.
#include "processors/pdf/operation_table.h"
#include "processors/pdf/processor_main.h"

int main(int argc, char** argv) {
  return RunProcessor(argc, argv, DocumentOperations());
}
