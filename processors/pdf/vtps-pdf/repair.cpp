// PdfRepair: what qpdf can recover of a damaged file, written as a sound PDF, with the
// problems it found: the first kMaxListedProblems of them, and how many there were. A page
// content stream that cannot be decoded to its end is replaced by what decodes before the
// damage. A file in which qpdf finds nothing wrong is copied byte for byte.
#include <qpdf/QPDFExc.hh>

#include <map>
#include <set>
#include <vector>

#include "processors/pdf/document/damage_watch.h"
#include "processors/pdf/document/decode_limit.h"
#include "processors/pdf/document/flate_salvage.h"
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/document/qpdf_warning.h"
#include "processors/pdf/run/file_bytes.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/run/limit_settings.h"
#include "processors/pdf/text/answer_text.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

namespace {

// The most problems an answer lists; a file damaged everywhere can have one per object.
constexpr std::size_t kMaxListedProblems = 1000;

// What reading one object costs qpdf at most, about: a resolved small object takes some
// 500 bytes, the cross-reference entry included. A repair reads every object, so the memory
// budget bounds how many it can take, and a file over that is refused before reading.
constexpr long long kBytesPerObject = 1024;

// qpdf finds a stream's true length by looking for the object that follows it through the
// whole cross-reference table, so a file of many such streams costs their number times its
// objects. The run stops once problems found times objects passes this (a problem is one of
// qpdf's warnings, of which each recovered length gives one or more): 2 to 4 s of that
// search on the loaded development machine, while 5,000 damaged streams among 50,000
// objects still fit.
constexpr long long kMaxRecoveryWork = 1'000'000'000;

struct Problems {
  std::vector<std::string> listed;  // the first kMaxListedProblems
  long long count = 0;
};

void AddProblem(std::string problem, Problems& problems) {
  ++problems.count;
  if (problems.listed.size() < kMaxListedProblems)
    problems.listed.push_back(text::XmlSafeText(std::move(problem)));
}

// Moves the document's new warnings into `problems`. Throws PdfError naming `subject` when
// one of them says that qpdf ran out of memory.
void CollectProblems(QPDF& pdf, const std::string& subject, Problems& problems) {
  std::vector<std::string> messages;
  for (const QPDFExc& warning : pdf.getWarnings())
    messages.push_back(warning.what());
  for (document::WarningKind kind : document::ClassifyWarnings(messages))
    if (kind == document::WarningKind::kOutOfMemory)
      throw PdfError(run::OutOfMemoryMessage(subject));
  for (std::string& message : messages)
    AddProblem(std::move(message), problems);
}

// A page content stream qpdf cannot decode to its end, and what it decoded before.
struct Salvaged {
  QPDFObjectHandle stream;
  int page;  // the first page drawing it, from 1
  std::string data;
};

// Decodes every page's content streams within the run's budget (a stream shared by pages
// once): those that fail, with what decoded. A page whose content cannot be decoded is drawn
// by no reader past the damage, so a repair keeps what decodes, in place of data that no
// output could carry soundly.
std::vector<Salvaged> DecodePageContents(document::PdfFile& input, document::DecodeBudget& budget) {
  std::vector<Salvaged> salvaged;
  std::set<QPDFObjGen> seen;
  for (std::size_t i = 0; i < input.pages.size(); ++i) {
    for (QPDFObjectHandle& stream : input.pages[i].getPageContents()) {
      if (!stream.isStream() || !seen.insert(stream.getObjGen()).second ||
          !document::DecodableAt(stream, qpdf_dl_generalized))
        continue;
      std::size_t before = input.pdf->numWarnings();
      std::string data = document::DecodeWithin(stream, qpdf_dl_generalized, budget, input.label);
      if (input.pdf->numWarnings() == before)
        continue;
      // Flate alone (the usual content filter): zlib keeps more than qpdf of what decodes.
      QPDFObjectHandle filter = stream.getDict().getKey("/Filter");
      if (filter.isArray() && filter.getArrayNItems() == 1)
        filter = filter.getArrayItem(0);
      if (filter.isNameAndEquals("/FlateDecode") && !stream.getDict().hasKey("/DecodeParms")) {
        std::shared_ptr<Buffer> raw = stream.getRawStreamData();
        document::FlateSalvage salvage = document::InflateUntilDamage(
            std::string_view(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize()),
            budget.NextStreamLimit());
        if (salvage.exceeded)
          budget.ThrowPassed(stream, input.label);
        if (salvage.data.size() > data.size()) {
          budget.Charge(static_cast<long long>(salvage.data.size() - data.size()), input.label);
          data = std::move(salvage.data);
        }
      }
      salvaged.push_back({stream, static_cast<int>(i + 1), std::move(data)});
    }
  }
  return salvaged;
}

}  // namespace

KQ_TDict PdfRepair(const run::JobParameters& parameters, document::OperationContext& context) {
  std::string outputName = parameters.String("output");
  std::string inputName = parameters.String("file");
  std::unique_ptr<run::OutputFile> output =
      document::PrepareOutput(context, outputName, parameters.Name("output"));
  os::FileHandle handle = context.paths.OpenFile(inputName, parameters.Name("file"));
  context.inputs.emplace(os::Describe(handle).id, inputName);
  document::PdfFile input =
      document::OpenPdf(std::move(handle), inputName, parameters.OptionalString("password"),
                        context.budget.ReadRemaining(), context.limits, document::Damage::kRecover);
  context.budget.Read(input.PageCount(), inputName);
  context.budget.Write(input.PageCount(), outputName);
  std::string subject = "file \"" + inputName + "\"";

  // qpdf reads objects when they are first used; reading every one of them now finds the
  // damage (a wrong stream length, an object missing where the table says) before deciding
  // whether the file needs repair at all.
  std::map<QPDFObjGen, QPDFXRefEntry> table = input.pdf->getXRefTable();
  long long objects = static_cast<long long>(table.size());
  long long maxObjects = context.limits.maxMemoryMb * (1LL << 20) / kBytesPerObject;
  if (objects > maxObjects)
    throw PdfError(subject + " has " + std::to_string(objects) +
                   " objects; a repair reads every one, and VTPS_PDF_MAX_MEMORY_MB (" +
                   std::to_string(context.limits.maxMemoryMb) + ") allows at most " +
                   std::to_string(maxObjects));
  Problems problems;
  try {
    long long read = 0;
    for (const auto& [objGen, entry] : table) {
      input.pdf->getObject(objGen).getTypeCode();
      long long found = static_cast<long long>(input.pdf->numWarnings());
      if (++read % 64 == 0 && found * objects > kMaxRecoveryWork)
        throw PdfError(subject + " is damaged in too many places to repair: " +
                       std::to_string(found) + " problems in the first " + std::to_string(read) +
                       " of its " + std::to_string(objects) + " objects");
    }
    table.clear();
    // Objects referred to but missing from the table, which qpdf makes null.
    for (QPDFObjectHandle& object : input.pdf->getAllObjects())
      object.getTypeCode();
  } catch (const PdfError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError(subject + " cannot be repaired (" + std::string(e.what()) + ")");
  }
  CollectProblems(*input.pdf, subject, problems);
  std::vector<Salvaged> salvaged = DecodePageContents(input, context.limits.decoding);
  CollectProblems(*input.pdf, subject, problems);
  for (const Salvaged& content : salvaged)
    AddProblem("page " + std::to_string(content.page) + ": its content stream " +
                   content.stream.getObjGen().unparse(' ') + " cannot be decoded to its end; the " +
                   std::to_string(content.data.size()) + " bytes before the damage are kept",
               problems);

  if (problems.count == 0) {
    run::CopyFileTo(input.file, subject, *output, context.limits.output);
  } else {
    // Streams are copied as the file holds them (recovered lengths included): decoding and
    // encoding them again would only add ways to lose data.
    for (Salvaged& content : salvaged)
      content.stream.replaceStreamData(std::move(content.data), QPDFObjectHandle::newNull(),
                                       QPDFObjectHandle::newNull());
    document::WriteSetup setup;
    setup.decoding.level = qpdf_dl_none;
    setup.decoding.compressStreams = false;
    document::WritePdf(*input.pdf, *output, context.limits, inputName, setup);
    CollectProblems(*input.pdf, subject, problems);
  }
  output->Commit();

  KQ_TArray list;
  for (const std::string& problem : problems.listed)
    list.Append(problem);
  KQ_TDict answer;
  answer["output"] = outputName;
  answer["repaired"] = problems.count == 0 ? "false" : "true";
  answer["problemCount"] = std::to_string(problems.count);
  answer["problem"] = list;
  return answer;
}

}  // namespace pdf::ops
