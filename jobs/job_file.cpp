#include "jobs/job_file.h"

#include <cstdio>
#include <fstream>
#include <locale>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/property_tree/xml_parser.hpp>

#include "jobs/xml_text.h"
#include "mapping/xml_depth.h"
#include "platform/os/os.h"

namespace {

using boost::property_tree::ptree;
using boost::property_tree::xml_parser_error;

const boost::property_tree::xml_writer_settings<std::string> kSettings('\t', 1, "utf-8");

// A stream buffer that writes to a C stream in blocks, as a file stream's buffer does (the
// tree library writes a character at a time). A failed write makes the stream bad.
class FileOutputBuffer : public std::streambuf {
 public:
  // Borrows `file`, which must outlive the buffer.
  explicit FileOutputBuffer(std::FILE* file) : file_(file), buffer_(kBytes) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }

 protected:
  int_type overflow(int_type character) override {
    if (!WriteOut())
      return traits_type::eof();
    if (!traits_type::eq_int_type(character, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(character);
      pbump(1);
    }
    return traits_type::not_eof(character);
  }

  int sync() override { return WriteOut() && std::fflush(file_) == 0 ? 0 : -1; }

 private:
  static constexpr std::size_t kBytes = 1 << 16;

  bool WriteOut() {
    std::size_t bytes = static_cast<std::size_t>(pptr() - pbase());
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return bytes == 0 || std::fwrite(buffer_.data(), 1, bytes, file_) == bytes;
  }

  std::FILE* file_;
  std::vector<char> buffer_;
};

}  // namespace

std::string JobFileName(const KQ_TString& method, std::int64_t seconds, std::uint32_t threadId) {
  std::ostringstream name;
  // The classic locale keeps the numbers free of digit grouping whatever the global one is.
  name.imbue(std::locale::classic());
  name << "_VTPS_";
  method.PrintOn(name);
  name << '_' << seconds << '_' << threadId << ".xml";
  return name.str();
}

std::string JobFilePath(const KQ_TURL& workingDirectory, const KQ_TString& method,
                        std::int64_t seconds, std::uint32_t threadId, char separator) {
  std::string name = JobFileName(method, seconds, threadId);
  std::string path = workingDirectory.ToLocalPath().c_str();
  path += separator;
  path += name;
  return path;
}

std::string NumberedJobFilePath(const std::string& path, unsigned number) {
  if (number <= 1)
    return path;
  constexpr std::string_view kExtension = ".xml";
  const bool xml = std::string_view(path).ends_with(kExtension);
  const std::string stem = xml ? path.substr(0, path.size() - kExtension.size()) : path;
  return stem + '_' + std::to_string(number) + (xml ? ".xml" : "");
}

std::string MakeJobFilePath(const KQ_TURL& workingDirectory, const KQ_TString& method) {
  return JobFilePath(workingDirectory, method, os::SecondsSince1970(), os::CurrentThreadId(),
                     os::PathSeparator());
}

std::string WriteNewJobFile(const boost::property_tree::ptree& tree, const std::string& path) {
  for (unsigned number = 1; number <= kMaxJobFileNumber; ++number) {
    const std::string candidate = NumberedJobFilePath(path, number);
    os::NewFile made = os::CreateNewFile(candidate);
    if (made.exists)
      continue;
    if (made.file == nullptr)
      throw xml_parser_error(made.error, candidate, 0);
    bool written = false;
    {
      FileOutputBuffer buffer(made.file);
      std::ostream stream(&buffer);
      stream.imbue(std::locale());
      try {
        boost::property_tree::write_xml(stream, tree, kSettings);
        // As in WriteJobFile: the library does not look at the stream after its last write.
        written = static_cast<bool>(stream.flush());
      } catch (const xml_parser_error&) {
      }
    }
    written = std::fclose(made.file) == 0 && written;
    if (!written)
      throw xml_parser_error(kJobFileWriteError, candidate, 0);
    return candidate;
  }
  throw xml_parser_error("cannot create " + path + " or any of the " +
                             std::to_string(kMaxJobFileNumber - 1) + " numbered names after it",
                         path, 0);
}

void WriteJobFile(const boost::property_tree::ptree& tree, const std::string& path) {
  // Opened as the tree library opens it (text mode), so the bytes are those it would write.
  std::ofstream stream(path);
  if (!stream)
    throw xml_parser_error("cannot open file", path, 0);
  stream.imbue(std::locale());
  try {
    boost::property_tree::write_xml(stream, tree, kSettings);
  } catch (const xml_parser_error& error) {
    throw xml_parser_error(error.message(), path, error.line());
  }
  // The library only looks at the stream before the last buffer goes out; an error while
  // that buffer is written, or when the file is closed, would otherwise be lost.
  stream.flush();
  if (!stream)
    throw xml_parser_error(kJobFileWriteError, path, 0);
  stream.close();
  if (!stream)
    throw xml_parser_error(kJobFileWriteError, path, 0);
}

boost::property_tree::ptree ReadJobFile(const std::string& path) {
  std::string ignored;
  return ReadJobFile(path, ignored);
}

boost::property_tree::ptree ReadJobFile(const std::string& path, std::string& problem) {
  problem.clear();
  try {
    // Text mode as the tree library reads, so line ends arrive as it would see them.
    std::ifstream stream(path);
    if (!stream)
      return ptree();
    stream.imbue(std::locale());
    // One allocation of the file's size (line-end translation only shrinks it), then the
    // rest of whatever the file holds by then.
    std::string content;
    stream.seekg(0, std::ios::end);
    std::streamoff size = stream.tellg();
    stream.seekg(0, std::ios::beg);
    if (size > 0)
      content.resize(static_cast<std::size_t>(size));
    stream.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(stream.gcount()));
    if (!stream.bad()) {
      stream.clear();
      char buffer[1 << 12];
      while (stream.read(buffer, sizeof buffer) || stream.gcount() > 0)
        content.append(buffer, static_cast<std::size_t>(stream.gcount()));
    }
    if (stream.bad()) {
      problem = "read error";
      return ptree();
    }
    // The reader recurses once per element level; measure before it sees the text.
    xml_depth::XmlDepth depth = xml_depth::MeasureXmlDepth(content);
    if (depth.status == xml_depth::XmlDepthStatus::kTooDeep) {
      problem =
          "elements nested deeper than " + std::to_string(xml_depth::kMaxXmlDepth) + " levels";
      return ptree();
    }
    if (depth.status == xml_depth::XmlDepthStatus::kMalformed) {
      problem = "malformed XML";
      return ptree();
    }
    return xml_text::Parse(content);
  } catch (const xml_parser_error& error) {
    problem = "malformed XML: " + error.message() + " (line " + std::to_string(error.line()) + ")";
    return ptree();
  } catch (const std::exception& error) {
    problem = error.what();
    return ptree();
  } catch (...) {
    // Every failure, of whatever kind, reads as an empty answer.
    problem = "unknown error";
    return ptree();
  }
}
