// vtps-pdf-metadata: the PDF processor of PdfMetadata, which reads and writes XMP packets
// with libxml2, linked as pdf-metadata and started by the server as `PROGRAM -r -i JOBFILE`.
#include "processors/pdf/operation_table.h"
#include "processors/pdf/processor_main.h"

int main(int argc, char** argv) {
  return RunProcessor(argc, argv, MetadataOperations());
}
