// Writes the fuzzers' seed corpora: real frames, packed values, job files and ntr-server
// configurations, made by the same functions the server uses, one small file per seed in
// <folder>/<target>/. The files are committed; run this again when the encodings change:
//   build/fuzz/fuzz/fuzz_seeds fuzz/corpus
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "jobs/job_file.h"
#include "mapping/dict_to_tree.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"

namespace fs = std::filesystem;

namespace {

KQ_TArray Array(std::initializer_list<KQ_TAny> elements) {
  KQ_TArray array;
  for (const KQ_TAny& element : elements)
    array.Append(element);
  return array;
}

// Parameter dictionaries of the shapes requests carry.
std::vector<KQ_TDict> Parameters() {
  std::vector<KQ_TDict> all;
  KQ_TDict report;
  report["title"] = "Report";
  KQ_TDict options;
  options["mode"] = "fast";
  report["options"] = options;
  report["file"] = Array({"one", "two"});
  KQ_TDict page1, page2;
  page1["n"] = "1";
  page2["n"] = "2";
  report["page"] = Array({page1, page2});
  all.push_back(report);

  KQ_TDict markup;
  markup["doc.<xmlattr>.lang"] = "en";
  markup["doc.<xmlcomment>"] = " a note ";
  markup["doc.body"] = "a < b & c > \"d\"";
  markup["empty"] = "";
  markup["blank"] = "  ";
  all.push_back(markup);

  KQ_TDict nested;
  nested["a.b.c"] = "deep";
  KQ_TDict inner;
  inner["list"] = Array({"x"});
  inner["sub"] = KQ_TDict();
  nested["outer"] = inner;
  nested["unicode"] =
      "Gr\xc3\xbc\xc3\x9f"
      "e \xe2\x82\xac";
  all.push_back(nested);
  return all;
}

// Packed values of every class the library packs.
std::vector<KQ_TAny> Values() {
  std::vector<KQ_TAny> all = {KQ_TAny(), KQ_TAny("text"), KQ_TAny(true), KQ_TAny(-42),
                              KQ_TAny(std::int64_t{1} << 40)};
  all.push_back(KQ_TURL(KQ_TString("file:///var/jobs")));
  KQ_TList list;
  list.Append("a");
  list.Append(7);
  all.push_back(list);
  KQ_TTree tree;
  tree["leaf"] = "value";
  all.push_back(tree);
  all.push_back(Array({"x", KQ_TAny(), false}));
  all.push_back(KQ_EException("the processor failed", KQ_TAny("detail")));
  for (const KQ_TDict& parameters : Parameters())
    all.push_back(parameters);
  return all;
}

class SeedWriter {
 public:
  explicit SeedWriter(fs::path root) : root_(std::move(root)) {}

  void Write(const std::string& target, const std::string& bytes) {
    fs::path folder = root_ / target;
    fs::create_directories(folder);
    char name[32];
    std::snprintf(name, sizeof name, "seed-%03d", counts_[target]++);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush())
      throw std::runtime_error("cannot write " + (folder / name).string());
  }

 private:
  fs::path root_;
  std::map<std::string, int> counts_;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds <corpus folder>\n");
    return 2;
  }
  __KQ_INITIALIZATION_FUNCTION_KQMWare__();
  SeedWriter seeds(argv[1]);

  std::uint64_t id = 1;
  std::string stream;
  for (const KQ_TAny& value : Values()) {
    std::string packed = KQ_ToBytes(value);
    seeds.Write("packed_value_fuzz", packed);
    if (value.DynamicCast<KQ_TDict>() != nullptr)
      seeds.Write("parameters_fuzz", packed);
    KQ_TDict request;
    request["M"] = "Help";
    request["P1"] = value;
    std::string frame = kqm::EncodeFrame(kqm::MessageKind::kRequest, id++, request);
    seeds.Write("frame_fuzz", frame);
    stream += frame;
  }
  seeds.Write("frame_fuzz", kqm::EncodeFrame(kqm::MessageKind::kAnswer, 7, KQ_TAny(true)));
  seeds.Write("frame_fuzz",
              kqm::EncodeFrame(kqm::MessageKind::kException, 8, KQ_EException("no such method")));
  seeds.Write("frame_fuzz", stream);  // several frames back to back, as a connection reads

  fs::path jobFile = fs::temp_directory_path() / "vtps_fuzz_seed.xml";
  for (const KQ_TDict& parameters : Parameters()) {
    WriteJobFile(DictToTree(parameters), jobFile.string());
    std::string text = ReadAll(jobFile);
    seeds.Write("answer_file_fuzz", text);
    seeds.Write("xml_depth_fuzz", text);
  }
  fs::remove(jobFile);
  seeds.Write(
      "answer_file_fuzz",
      "<?xml version=\"1.0\"?>\n<result a=\"1\">ok<!-- c --><![CDATA[x]]>&amp;&#65;</result>\n"
      "<itemArray><item>1</item><item><k>v</k></item></itemArray>\n");

  const char* const configurations[] = {
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- comment -->\n<configuration>\n"
      "  <Servers>\n    <VantricProcessServer>\n      <Configuration>\n"
      "        <ProgramDirectory>  procs/  </ProgramDirectory>\n"
      "        <WorkingDirectory type=\"url\">file:///var/jobs</WorkingDirectory>\n"
      "        <Workers type=\"int\">-4</Workers>\n"
      "        <Verbose type=\"bool\">true</Verbose>\n"
      "        <Name type=\"string\">x</Name>\n        <Empty/>\n"
      "      </Configuration>\n    </VantricProcessServer>\n  </Servers>\n</configuration>\n",
      "<configuration><a><b type=\"int\">12</b><c type=\"bool\">false</c></a></configuration>",
  };
  for (const char* text : configurations) {
    seeds.Write("ntr_config_fuzz", text);
    seeds.Write("xml_depth_fuzz", text);
  }
  return 0;
}
