#include "processors/pdf/vtps-office-engine/lok_conversion.h"

// The password callback and the document types are in LibreOfficeKit's "unstable" part,
// which Debian's headers ship. LibreOfficeKitInit.h defines every loader function static in
// the including file.
#define LOK_USE_UNSTABLE_API
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wuseless-cast"
#pragma GCC diagnostic ignored "-Wcast-qual"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wconversion"
#include <LibreOfficeKit/LibreOfficeKit.h>
#include <LibreOfficeKit/LibreOfficeKitEnums.h>
#include <LibreOfficeKit/LibreOfficeKitInit.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/os/address_space.h"
#include "platform/os/os.h"
#include "platform/os/worker_process.h"
#include "processors/pdf/office/conversion_options.h"
#include "processors/pdf/office/csv_sheet.h"
#include "processors/pdf/office/forking_engine.h"
#include "processors/pdf/office/landscape_layout.h"
#include "processors/pdf/office/office_format.h"
#include "processors/pdf/run/file_bytes.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::office {
namespace {

// What the password callback needs: the password given (if any) and whether one was asked.
struct PasswordState {
  LibreOfficeKit* office = nullptr;
  const std::optional<std::string>* password = nullptr;
  int asked = 0;
};

void OfficeCallback(int type, const char* payload, void* data) {
  auto* state = static_cast<PasswordState*>(data);
  if (type != LOK_CALLBACK_DOCUMENT_PASSWORD && type != LOK_CALLBACK_DOCUMENT_PASSWORD_TO_MODIFY)
    return;
  ++state->asked;
  // The password is offered once; asked again means it was wrong, and the load is cancelled.
  const char* password = nullptr;
  if (state->asked == 1 && state->password->has_value())
    password = (*state->password)->c_str();
  state->office->pClass->setDocumentPassword(state->office, payload, password);
}

std::string OfficeError(LibreOfficeKit* office) {
  char* error = office->pClass->getError(office);
  if (error == nullptr)
    return "";
  std::string text = error;
  office->pClass->freeError(error);
  return text;
}

std::string DocumentType(int type) {
  switch (type) {
    case LOK_DOCTYPE_TEXT:
      return "text";
    case LOK_DOCTYPE_SPREADSHEET:
      return "spreadsheet";
    case LOK_DOCTYPE_PRESENTATION:
      return "presentation";
    case LOK_DOCTYPE_DRAWING:
      return "drawing";
    default:
      return "other";
  }
}

std::string FileUrl(const std::string& path) {
  return "file://" + path;
}

// The flat OpenDocument format of a loaded document's type (the extension LibreOfficeKit
// saves it by).
const char* FlatFormat(int type) {
  switch (type) {
    case LOK_DOCTYPE_TEXT:
      return "fodt";
    case LOK_DOCTYPE_SPREADSHEET:
      return "fods";
    case LOK_DOCTYPE_PRESENTATION:
      return "fodp";
    case LOK_DOCTYPE_DRAWING:
      return "fodg";
    default:
      return nullptr;
  }
}

// `document` with its pages turned landscape: saved in LibreOffice's flat format into
// `folder`, its page layouts turned there, and loaded again (`document` is closed). Export
// options cannot turn pages, and dispatched commands do not run before the export in a
// worker started from a preloaded LibreOffice.
LibreOfficeKitDocument* LoadedLandscape(LibreOfficeKit* office, LibreOfficeKitDocument* document,
                                        const std::string& folder) {
  const char* format = FlatFormat(document->pClass->getDocumentType(document));
  if (format == nullptr)
    throw PdfError("\"landscape\" cannot turn the pages of this kind of document");
  std::string flatPath = folder + "/turned." + format;
  bool saved = document->pClass->saveAs(document, FileUrl(flatPath).c_str(), format, nullptr);
  document->pClass->destroy(document);
  if (!saved) {
    std::string error = OfficeError(office);
    throw PdfError("LibreOffice cannot save the document to turn its pages" +
                   (error.empty() ? std::string() : " (" + error + ")"));
  }
  std::string flat;
  {
    std::ifstream in(flatPath, std::ios::binary);
    if (!in)
      throw PdfError("cannot read the document saved to turn its pages");
    flat.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  TurnPageLayoutsLandscape(flat);
  {
    std::ofstream out(flatPath, std::ios::binary | std::ios::trunc);
    out.write(flat.data(), static_cast<std::streamsize>(flat.size()));
    if (!out)
      throw PdfError("cannot write the document with its pages turned");
  }
  flat = std::string();
  LibreOfficeKitDocument* turned = office->pClass->documentLoadWithOptions(
      office, FileUrl(flatPath).c_str(), "Language=en-US,Batch=true");
  if (turned == nullptr) {
    std::string error = OfficeError(office);
    throw PdfError("LibreOffice cannot open the document with its pages turned" +
                   (error.empty() ? std::string() : " (" + error + ")"));
  }
  return turned;
}

EngineMessage Convert(const WorkerSetup& setup, const EngineMessage& request,
                      std::vector<os::FileHandle>& files) {
  if (files.size() != 2)
    throw PdfError("the request must carry the input and the output file");
  if (!setup.unisolated) {
    std::string refusal = os::LeaveNetwork();
    if (!refusal.empty())
      throw PdfError("the conversion cannot be cut off from the network (" + refusal +
                     "); set VTPS_OFFICE_UNISOLATED=1 to convert without that isolation");
  }
  os::LimitAddressSpace(static_cast<std::uint64_t>(setup.maxMemoryMb) << 20);
  std::string head = run::ReadWholeFile(files[0], "the document", setup.maxInputBytes,
                                        "VTPS_OFFICE_MAX_INPUT_BYTES");
  OfficeFormat format =
      DetectOfficeFormat("input." + request.Get("format").value_or(""), head, "the document");
  long long maxOutputBytes = 1LL << 30;
  if (std::optional<std::string> given = request.Get("maxOutputBytes");
      given && !given->empty() && given->size() < 16 &&
      given->find_first_not_of("0123456789") == std::string::npos)
    maxOutputBytes = std::stoll(*given);
  os::LimitFileSize(static_cast<std::uint64_t>(std::max(maxOutputBytes, setup.maxInputBytes)));

  std::string folder = WorkerFolder(setup, static_cast<int>(os::ProcessId()));
  std::filesystem::create_directories(folder);
  // LibreOffice's own temporary files go into the worker's folder too.
  os::SetEnv("TMPDIR", folder);
  // LibreOfficeKit cannot answer the questions of LibreOffice's CSV import (it hangs or
  // refuses), so a CSV file goes in as the spreadsheet it describes.
  if (format.name == "csv")
    head = FlatSpreadsheetOfCsv(head, "Sheet1");
  std::string inputPath = folder + "/input." + (format.name == "csv" ? "fods" : format.name);
  std::string outputPath = folder + "/output.pdf";
  {
    std::ofstream input(inputPath, std::ios::binary);
    input.write(head.data(), static_cast<std::streamsize>(head.size()));
    if (!input)
      throw PdfError("cannot copy the document for the conversion");
  }
  head = std::string();

  LibreOfficeKit* office = lok_init_2(setup.installPath.c_str(), setup.profileUrl.c_str());
  if (office == nullptr)
    throw PdfError("LibreOffice cannot be started in the worker");
  ConversionOptions options = OptionsOfRequest(request);
  PasswordState passwords{office, &options.password, 0};
  office->pClass->setOptionalFeatures(
      office, LOK_FEATURE_DOCUMENT_PASSWORD | LOK_FEATURE_DOCUMENT_PASSWORD_TO_MODIFY);
  office->pClass->registerCallback(office, OfficeCallback, &passwords);
  LibreOfficeKitDocument* document = office->pClass->documentLoadWithOptions(
      office, FileUrl(inputPath).c_str(), "Language=en-US,Batch=true");
  if (document == nullptr) {
    if (passwords.asked > 0 && !options.password)
      throw PdfError("the document is protected by a password: give it in \"password\"");
    if (passwords.asked > 0)
      throw PdfError("the password given in \"password\" does not open the document");
    std::string error = OfficeError(office);
    throw PdfError("LibreOffice cannot open the document" +
                   (error.empty() ? std::string() : " (" + error + ")"));
  }
  if (options.landscape)
    document = LoadedLandscape(office, document, folder);
  std::string filterData = PdfFilterData(options);
  if (!document->pClass->saveAs(document, FileUrl(outputPath).c_str(), "pdf",
                                filterData.empty() ? nullptr : filterData.c_str())) {
    std::string error = OfficeError(office);
    throw PdfError("LibreOffice cannot export the document as PDF" +
                   (error.empty() ? std::string() : " (" + error + ")"));
  }
  EngineMessage answer;
  answer.Add("status", "ok");
  answer.Add("documentType", DocumentType(document->pClass->getDocumentType(document)));

  std::ifstream pdf(outputPath, std::ios::binary);
  std::FILE* output = os::OpenStream(files[1], "wb");
  if (!pdf || output == nullptr)
    throw PdfError("cannot hand the PDF back");
  char buffer[1 << 16];
  while (pdf.read(buffer, sizeof buffer) || pdf.gcount() > 0) {
    std::size_t count = static_cast<std::size_t>(pdf.gcount());
    if (std::fwrite(buffer, 1, count, output) != count) {
      std::fclose(output);
      throw PdfError("cannot hand the PDF back: the output cannot be written");
    }
  }
  if (std::fclose(output) != 0)
    throw PdfError("cannot hand the PDF back: the output cannot be written");
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return answer;
}

}  // namespace

std::string PrepareOffice(const WorkerSetup& setup) {
  if (lok_preinit(setup.installPath.c_str(), setup.profileUrl.c_str()) != 0)
    return "LibreOffice cannot be loaded from " + setup.installPath +
           " (is it installed? VTPS_OFFICE_INSTALL names its program folder)";
  return "";
}

EngineMessage ConvertInWorker(const WorkerSetup& setup, const EngineMessage& request,
                              std::vector<os::FileHandle>& files) {
  try {
    return Convert(setup, request, files);
  } catch (const std::bad_alloc&) {
    return FailedAnswer("failed",
                        "the document needs more memory than VTPS_OFFICE_MAX_MEMORY_MB allows");
  } catch (const std::exception& e) {
    return FailedAnswer("failed", e.what());
  }
}

std::string WorkerFolder(const WorkerSetup& setup, int workerId) {
  return setup.workRoot + "/" + std::to_string(workerId);
}

}  // namespace pdf::office
