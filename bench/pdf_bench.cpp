// The server's overhead on real PDF work: PdfMerge of two 200-page files, PdfRender of one
// page at 150 dpi, PdfCompress (image quality 60) and PdfOcr of a Letter page of 48 lines of
// 11-point text scanned at 300 dpi, each sent through VantricProcessServer (started with
// ntr-server, the request sent with KQM_TClient) and run directly on an identical job file with the
// command line the server runs (`cd DIR ; DIR/pdf-x -r -i JOBFILE`, through os::RunCommandLine as
// the server does), interleaved. Prints the median of each and the ratio server / direct.
//
//   build/linux/bench/pdf_bench [rounds per operation, default 15; PdfOcr a third of them]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include "jobs/command_line.h"
#include "jobs/job_file.h"
#include "mapping/dict_to_tree.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/program_options.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/child_process.h"
#include "platform/os/os.h"

#include "processors/pdf/samples/sample_pdf.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A Letter page full of text, as a typed letter or an invoice: 48 lines of 12 words drawn
// from a small vocabulary in 11-point Times (576 words).
void WriteTextPage(const std::string& path) {
  const char* const words[] = {"invoice", "number",  "payable",  "within",  "thirty",   "days",
                               "account", "balance", "customer", "service", "delivery", "address",
                               "order",   "total",   "amount",   "due",     "the",      "of"};
  std::string content = "BT /F1 11 Tf 14 TL 60 740 Td\n";
  std::uint32_t seed = 1;
  for (int line = 0; line < 48; ++line) {
    content += "(";
    for (int word = 0; word < 12; ++word) {
      seed = seed * 1664525 + 1013904223;
      content += std::string(word == 0 ? "" : " ") + words[(seed >> 16) % std::size(words)];
    }
    content += ") Tj T*\n";
  }
  content += "ET\n";
  QPDF pdf;
  pdf.emptyPDF();
  QPDFObjectHandle page = pdf.makeIndirectObject(QPDFObjectHandle::parse(
      "<< /Type /Page /MediaBox [0 0 612 792] /Resources << /Font << /F1 << /Type /Font "
      "/Subtype /Type1 /BaseFont /Times-Roman >> >> >> >>"));
  page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, content));
  QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(page), false);
  QPDFWriter writer(pdf, path.c_str());
  writer.write();
}

struct Operation {
  const char* method;
  const char* program;
  KQ_TDict parameters;
};

class Bench {
 public:
  Bench() {
    fs::create_directory(Root());
    fs::create_directory(dir_.File("jobs"));
    pdf::samples::SampleDocument document;
    document.pages = pdf::samples::TextPages(200);
    pdf::samples::WriteSamplePdf(document, Root() + "/a.pdf");
    document.pages = pdf::samples::TextPages(200, "Other page");
    pdf::samples::WriteSamplePdf(document, Root() + "/b.pdf");
    WriteTextPage(Root() + "/letter.pdf");

    std::uint16_t serverPort = vtps_test::FreePort();
    std::uint16_t ntrPort = vtps_test::FreePort();
    vtps_test::WriteFile(dir_.File("services"), vtps_test::ServicesText(serverPort, ntrPort));
    vtps_test::WriteFile(dir_.File("ntr.xml"),
                         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                         "<configuration><Servers><VantricProcessServer><Configuration>\n"
                         "<ProgPathEnvVar>VTPS_PDF_BENCH_HOME</ProgPathEnvVar>\n"
                         "<ProgramDirectory>processors/</ProgramDirectory>\n"
                         "<WorkingDirectory type=\"url\">" +
                             vtps_test::FileUrl(dir_.File("jobs")) +
                             "</WorkingDirectory>\n"
                             "<PdfMerge>pdf-merge</PdfMerge>\n<PdfRender>pdf-render</PdfRender>\n"
                             "<PdfFromImages>pdf-from-images</PdfFromImages>\n"
                             "<PdfCompress>pdf-compress</PdfCompress>\n<PdfOcr>pdf-ocr</PdfOcr>\n"
                             "</Configuration></VantricProcessServer></Servers></configuration>\n");
    environment_ = {{"KQM_SERVICES", dir_.File("services")},
                    {"KQM_DEBUG_LOG", dir_.File("debug.log")},
                    {"VTPS_PDF_BENCH_HOME", VTPS_BUILD_DIR},
                    {"VTPS_PDF_ROOT", Root()}};

    // The direct runs inherit the same settings as the server's processors.
    os::SetEnv("VTPS_PDF_ROOT", Root());
    // The server reads its configuration once at start, so the NTR service comes first.
    ntr_.emplace(Start("tools/ntr-server/ntr-server", {dir_.File("ntr.xml")}));
    KQM_TClient ntrClient;
    ntrClient.SetConnectionAddress("localhost", "NTR", ntrPort, KQM_TClient::kConnectOnRequest);
    WaitForAnswer(ntrClient, "KeysAt", KQ_TString(""));
    server_.emplace(Start("server/VantricProcessServer", {}));
    client_.SetConnectionAddress("localhost", "VantricProcessServer", serverPort,
                                 KQM_TClient::kConnectOnRequest);
    WaitForAnswer(client_, "Help", KQ_TDict());
  }

  // Runs `operation` once through the server, to make an input of the later operations.
  void Prepare(const Operation& operation) { ThroughServer(operation); }

  // Runs `operation` through the server and directly, `rounds` times each, alternating
  // which goes first, and prints the medians.
  void Compare(const Operation& operation, int rounds) {
    std::vector<double> served;
    std::vector<double> direct;
    for (int round = 0; round < rounds + 1; ++round) {
      double viaServer = 0;
      double alone = 0;
      if (round % 2 == 0) {
        viaServer = ThroughServer(operation);
        alone = Directly(operation);
      } else {
        alone = Directly(operation);
        viaServer = ThroughServer(operation);
      }
      if (round == 0)
        continue;  // warm-up: page cache, first process start
      served.push_back(viaServer);
      direct.push_back(alone);
    }
    double server = Median(served);
    double plain = Median(direct);
    std::printf("%-11s through the server %8.1f ms   direct %8.1f ms   ratio %.3f\n",
                operation.method, server, plain, server / plain);
  }

 private:
  std::string Root() const { return dir_.File("root"); }

  os::ChildProcess Start(const std::string& program, std::vector<std::string> arguments) {
    os::ChildProcess::Options options;
    options.arguments = std::move(arguments);
    options.environment = environment_;
    return os::ChildProcess::Start(vtps_test::BuildProgram(program), options);
  }

  static void WaitForAnswer(KQM_TClient& client, const char* method, const KQ_TAny& parameter) {
    bool up = vtps_test::WaitUntil([&] {
      try {
        client.Call(method, parameter);
        return true;
      } catch (...) {  // KQ_EException until the service listens
        return false;
      }
    });
    if (!up)
      throw std::runtime_error("the service " + client.ServiceName() + " did not come up");
  }

  double ThroughServer(const Operation& operation) {
    Clock::time_point start = Clock::now();
    KQ_TAny answer = client_.Call(operation.method, operation.parameters);
    double elapsed = MillisecondsSince(start);
    const KQ_TDict* dict = answer.DynamicCast<KQ_TDict>();
    if (dict == nullptr || dict->Find("error") != nullptr || dict->Empty()) {
      std::ostringstream shown;
      answer.PrintOn(shown);
      throw std::runtime_error(std::string(operation.method) +
                               " failed through the server: " + shown.str());
    }
    return elapsed;
  }

  double Directly(const Operation& operation) {
    // The same job file the server would write, written before the clock starts as the
    // server's is written after its clock started: the server's figure includes it.
    std::string job = dir_.File("direct.xml");
    Clock::time_point start = Clock::now();
    WriteJobFile(DictToTree(operation.parameters), job);
    os::CommandDialect dialect = os::NativeCommandDialect();
    std::string line = BuildCommandLine(dialect, ProgramBaseDirectory(VTPS_BUILD_DIR, dialect),
                                        "processors/", operation.program, job);
    int exitCode = os::RunCommandLine(line);
    double elapsed = MillisecondsSince(start);
    if (exitCode != 0) {
      throw std::runtime_error(std::string(operation.program) + " failed when run directly");
    }
    return elapsed;
  }

  vtps_test::TempDir dir_;
  std::vector<std::pair<std::string, std::string>> environment_;
  std::optional<os::ChildProcess> ntr_;
  std::optional<os::ChildProcess> server_;
  KQM_TClient client_;
};

// A dict of text entries, in the order given.
KQ_TDict TextDict(std::initializer_list<std::pair<const char*, const char*>> entries) {
  KQ_TDict dict;
  for (const auto& [key, value] : entries)
    dict[key] = value;
  return dict;
}

void Run(int rounds) {
  Bench bench;
  KQ_TArray inputs;
  inputs.Append("a.pdf");
  inputs.Append("b.pdf");
  KQ_TDict merge;
  merge["input"] = inputs;
  merge["output"] = "merged.pdf";
  KQ_TDict render =
      TextDict({{"file", "a.pdf"}, {"pages", "1"}, {"dpi", "150"}, {"output", "page-%d.png"}});
  // A page scanned at 300 dpi: the letter drawn, then made an image-only PDF.
  bench.Prepare({"PdfRender", "pdf-render",
                 TextDict({{"file", "letter.pdf"}, {"dpi", "300"}, {"output", "scan-%d.png"}})});
  KQ_TArray images;
  images.Append("scan-1.png");
  KQ_TDict scan;
  scan["images"] = images;
  scan["pageSize"] = "Letter";
  scan["output"] = "scan.pdf";
  bench.Prepare({"PdfFromImages", "pdf-from-images", scan});
  KQ_TDict compress =
      TextDict({{"file", "scan.pdf"}, {"imageQuality", "60"}, {"output", "compressed.pdf"}});
  KQ_TDict ocr = TextDict({{"file", "scan.pdf"}, {"output", "searchable.pdf"}});
  std::printf("median of %d interleaved rounds each (PdfOcr: %d)\n", rounds,
              std::max(1, rounds / 3));
  std::fflush(stdout);
  bench.Compare({"PdfMerge", "pdf-merge", merge}, rounds);
  bench.Compare({"PdfRender", "pdf-render", render}, rounds);
  bench.Compare({"PdfCompress", "pdf-compress", compress}, rounds);
  bench.Compare({"PdfOcr", "pdf-ocr", ocr}, std::max(1, rounds / 3));
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
  if (rounds < 1) {
    std::fprintf(stderr, "usage: pdf_bench [rounds per operation, at least 1]\n");
    return 2;
  }
  try {
    kqm::UseProgramOptions(kqm::ProgramOptions::FromEnvironment());
    Run(rounds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pdf_bench: %s\n", e.what());
    return 1;
  } catch (const KQ_EException& e) {
    std::fprintf(stderr, "pdf_bench: %s\n", e.KQ_Message().Text().c_str());
    return 1;
  }
  return 0;
}
