// The processor's answers to the browser engine's questions for the files a page asks for.
// Every request the page makes reaches the processor: a file: address beneath the page's base
// folder (the root, or the document's folder without one) is opened through the run's path
// resolver, with the confinement of every other file a job names, and handed to the engine
// open; data: and blob: addresses pass; an address of an allowed origin is fetched by the
// browser itself; everything else is refused with the reason, which the engine names in the
// answer's warnings. A page may be given as text of the processor's own (a Markdown page made
// into HTML) under its address. One object per run, used from one thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "processors/pdf/office/engine_client.h"
#include "processors/pdf/run/confined_path.h"

namespace pdf::html {

// `text` with every byte outside the unreserved set and "/" written as %XX.
std::string EncodeUrlPath(const std::string& text);
// `text` with its %XX escapes decoded; nullopt for a malformed escape or an encoded NUL.
std::optional<std::string> DecodeUrlPath(const std::string& text);

// The content type a file's name tells ("text/css" for "a.css").
std::string ContentTypeOf(const std::string& name);

class PageFiles {
 public:
  // `baseFolder` is the absolute path of the folder the page's files are beneath, and
  // `baseRelative` the same folder as the resolver's paths name it ("" for the root);
  // `maxBytes` is how many bytes all the files handed may hold together.
  PageFiles(const run::PathResolver& paths, std::string baseFolder, std::string baseRelative,
            std::vector<std::string> allowedOrigins, long long maxBytes);

  // The address of the file `relative` to the base folder.
  std::string UrlOf(const std::string& relative) const;

  // Answers the address `url` with `html` instead of a file (a page the processor made).
  void Provide(const std::string& url, std::string html);

  // The reply to one question of the engine.
  office::QuestionReply Answer(const office::EngineMessage& question);

  // How many bytes have been handed so far.
  long long BytesHanded() const { return handed_; }

 private:
  office::QuestionReply Refuse(const std::string& reason) const;
  office::QuestionReply Hand(os::FileHandle file, const std::string& contentType);

  const run::PathResolver& paths_;
  std::string baseFolder_;
  std::string baseRelative_;
  std::vector<std::string> allowedOrigins_;
  long long maxBytes_;
  long long handed_ = 0;
  std::optional<std::pair<std::string, std::string>> provided_;
};

}  // namespace pdf::html
