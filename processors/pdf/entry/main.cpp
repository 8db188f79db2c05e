// The main of every PDF program (vtps-pdf, vtps-pdf-draw, vtps-pdf-metadata): each links it
// with the operation table the build writes from its operations.table, and is started by the
// server as `PROGRAM -r -i JOBFILE` under the name of one of its operations.
#include "processors/pdf/entry/operation_table.h"
#include "processors/pdf/entry/processor_main.h"

int main(int argc, char** argv) {
  return pdf::entry::RunProcessor(argc, argv, pdf::entry::ProgramOperations());
}
