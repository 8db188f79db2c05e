// The cost of a job's round trip through its file: a parameter dictionary of about 1 MB
// through DictToTree, WriteJobFile, ReadJobFile and TreeToDict, against the tree library's
// bare write_xml and read_xml of the same tree on the same kind of file, in the same run.
// Two dictionaries of about the same size: "typical" (some 4,000 entries with texts of a
// few hundred bytes) and "many-small" (some 15,000 entries with short texts), as the
// conversions cost by the entry and the file by the byte. Prints every step alone and the
// ratio of the round trips per dictionary (target: at most 1.3).
// How to run it and the figures: docs/performance.md.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <boost/property_tree/xml_parser.hpp>

#include "jobs/job_file.h"
#include "mapping/dict_to_tree.h"
#include "mapping/tree_to_dict.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"

namespace {

using boost::property_tree::ptree;

struct Shape {
  const char* name;
  std::size_t settings;  // top-level strings
  std::size_t settingLength;
  std::size_t pages;  // array of sub-dictionaries, each with nested options
  std::size_t titleLength;
  std::size_t annotations;  // array of strings in each page
  std::size_t annotationLength;
  std::size_t files;  // flat array of short strings
};

constexpr Shape kShapes[] = {
    {"typical", 200, 300, 400, 200, 3, 500, 500},
    {"many-small", 400, 120, 1500, 90, 3, 70, 1000},
};

std::string Text(std::size_t length, std::size_t seed) {
  static const std::string words =
      "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor "
      "incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud "
      "exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat & <more>. ";
  std::string text;
  while (text.size() < length)
    text += words.substr((seed * 7 + text.size()) % 40);
  text.resize(length);
  return text;
}

KQ_TDict Parameters(const Shape& shape) {
  KQ_TDict parameters;
  for (std::size_t i = 0; i < shape.settings; ++i)
    parameters["setting" + std::to_string(i)] = Text(shape.settingLength, i);
  KQ_TArray pages;
  for (std::size_t i = 0; i < shape.pages; ++i) {
    KQ_TDict page;
    page["number"] = std::to_string(i + 1);
    page["title"] = Text(shape.titleLength, i);
    KQ_TDict options;
    options["mode"] = "fast";
    options["quality"] = std::to_string(i % 100);
    options["rotate"] = i % 2 == 0 ? "0" : "90";
    page["options"] = KQ_TAny(std::move(options));
    KQ_TArray annotations;
    for (std::size_t j = 0; j < shape.annotations; ++j)
      annotations.Append(Text(shape.annotationLength, i + j));
    page["annotation"] = KQ_TAny(std::move(annotations));
    pages.Append(KQ_TAny(std::move(page)));
  }
  parameters["page"] = KQ_TAny(std::move(pages));
  KQ_TArray files;
  for (std::size_t i = 0; i < shape.files; ++i)
    files.Append("input/document_" + std::to_string(i) + ".pdf");
  parameters["file"] = KQ_TAny(std::move(files));
  return parameters;
}

// The dictionaries and their trees, made once.
const KQ_TDict& TheParameters(std::int64_t shape) {
  static const KQ_TDict* const parameters[] = {new KQ_TDict(Parameters(kShapes[0])),
                                               new KQ_TDict(Parameters(kShapes[1]))};
  return *parameters[shape];
}

const ptree& TheTree(std::int64_t shape) {
  static const ptree* const trees[] = {new ptree(DictToTree(TheParameters(0))),
                                       new ptree(DictToTree(TheParameters(1)))};
  return *trees[shape];
}

std::string FilePath(const char* name) {
  return (std::filesystem::temp_directory_path() /
          ("vtps_job_file_bench_" + std::to_string(os::ProcessId()) + "_" + name + ".xml"))
      .string();
}

void Describe(benchmark::State& state, const std::string& path) {
  std::int64_t shape = state.range(0);
  state.SetLabel(kShapes[shape].name);
  std::size_t entries = 0;
  // Counts the tree's nodes without the root, i.e. the elements of the file.
  std::vector<const ptree*> nodes{&TheTree(shape)};
  while (!nodes.empty()) {
    const ptree* node = nodes.back();
    nodes.pop_back();
    for (const ptree::value_type& child : *node) {
      ++entries;
      nodes.push_back(&child.second);
    }
  }
  state.counters["elements"] = static_cast<double>(entries);
  state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

void BM_JobFileRoundTrip(benchmark::State& state) {
  const KQ_TDict& parameters = TheParameters(state.range(0));
  const std::string path = FilePath("round_trip");
  for (auto _ : state) {
    WriteJobFile(DictToTree(parameters), path);
    KQ_TDict answer;
    TreeToDict(ReadJobFile(path), answer);
    benchmark::DoNotOptimize(answer);
  }
  Describe(state, path);
  std::remove(path.c_str());
}
BENCHMARK(BM_JobFileRoundTrip)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

void BM_BareBoostRoundTrip(benchmark::State& state) {
  const ptree& tree = TheTree(state.range(0));
  const std::string path = FilePath("bare");
  const boost::property_tree::xml_writer_settings<std::string> settings('\t', 1, "utf-8");
  for (auto _ : state) {
    boost::property_tree::write_xml(path, tree, std::locale(), settings);
    ptree read;
    boost::property_tree::read_xml(path, read, 0);
    benchmark::DoNotOptimize(read);
  }
  Describe(state, path);
  std::remove(path.c_str());
}
BENCHMARK(BM_BareBoostRoundTrip)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// The steps alone, to see where the time goes.
void BM_DictToTree(benchmark::State& state) {
  const KQ_TDict& parameters = TheParameters(state.range(0));
  for (auto _ : state)
    benchmark::DoNotOptimize(DictToTree(parameters));
}
BENCHMARK(BM_DictToTree)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

void BM_WriteJobFile(benchmark::State& state) {
  const std::string path = FilePath("write");
  for (auto _ : state)
    WriteJobFile(TheTree(state.range(0)), path);
  std::remove(path.c_str());
}
BENCHMARK(BM_WriteJobFile)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

void BM_BareWriteXml(benchmark::State& state) {
  const std::string path = FilePath("bare_write");
  const boost::property_tree::xml_writer_settings<std::string> settings('\t', 1, "utf-8");
  for (auto _ : state)
    boost::property_tree::write_xml(path, TheTree(state.range(0)), std::locale(), settings);
  std::remove(path.c_str());
}
BENCHMARK(BM_BareWriteXml)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

void BM_ReadJobFile(benchmark::State& state) {
  const std::string path = FilePath("read");
  WriteJobFile(TheTree(state.range(0)), path);
  for (auto _ : state)
    benchmark::DoNotOptimize(ReadJobFile(path));
  std::remove(path.c_str());
}
BENCHMARK(BM_ReadJobFile)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

void BM_BareReadXml(benchmark::State& state) {
  const std::string path = FilePath("bare_read");
  WriteJobFile(TheTree(state.range(0)), path);
  for (auto _ : state) {
    ptree read;
    boost::property_tree::read_xml(path, read, 0);
    benchmark::DoNotOptimize(read);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_BareReadXml)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

void BM_TreeToDict(benchmark::State& state) {
  const ptree& tree = TheTree(state.range(0));
  for (auto _ : state) {
    KQ_TDict answer;
    TreeToDict(tree, answer);
    benchmark::DoNotOptimize(answer);
  }
}
BENCHMARK(BM_TreeToDict)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// Prints as the console reporter does and keeps each benchmark's real time per iteration
// (the median when repetitions are asked for), by full name ("BM_JobFileRoundTrip/0").
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred ||
          (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median"))
        continue;
      std::string name = run.run_name.function_name + "/" + run.run_name.args;
      seconds_[name] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
  }
  // The real time of `name`, or a negative number when it did not run.
  double Seconds(const std::string& name) const {
    auto found = seconds_.find(name);
    return found == seconds_.end() ? -1 : found->second;
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  for (int shape = 0; shape < 2; ++shape) {
    std::string suffix = "/" + std::to_string(shape);
    double ours = reporter.Seconds("BM_JobFileRoundTrip" + suffix);
    double bare = reporter.Seconds("BM_BareBoostRoundTrip" + suffix);
    if (ours > 0 && bare > 0)
      std::printf(
          "%-10s job file round trip %6.2f ms, bare write_xml + read_xml %6.2f ms, ratio %.2f "
          "(target at most 1.3)\n",
          kShapes[shape].name, ours * 1e3, bare * 1e3, ours / bare);
  }
  benchmark::Shutdown();
  return 0;
}
