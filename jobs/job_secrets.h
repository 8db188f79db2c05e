// Secret values in kept job files. A job file holds the caller's parameters, passwords
// among them; when the server keeps the file (a failed run, or a debug level that keeps them
// all), it first removes the values of the secret keys (VTPS_SECRET_KEYS) from it, so that
// what stays in the working folder holds no password.
//
// Pure functions, and one that rewrites a file; they keep no state and take no lock, so they
// are safe from any thread, each call on its own file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <boost/property_tree/ptree.hpp>

// The keys whose values are secret when VTPS_SECRET_KEYS is not set: password,
// userPassword, ownerPassword (the PDF processors' passwords). Static storage.
std::span<const std::string> DefaultSecretKeys();

// The value of VTPS_SECRET_KEYS as a list of keys: names separated by commas, blanks around
// each ignored; nullopt (unset) gives DefaultSecretKeys, an empty or blank text no key at
// all. Pure. Throws KQ_EException naming VTPS_SECRET_KEYS and its value for an empty name
// between commas or a name that is not an XML name (no element could carry it).
std::vector<std::string> ParseSecretKeys(const std::optional<std::string>& value);

// Empties every element and attribute of `tree` whose name is one of `keys`, at any depth
// (inside sub-elements and arrays too): its text and whatever it holds go, the element
// itself stays. Returns the keys whose values were removed (those that had a text or
// children), each once, in the order of `keys`. Walks without recursion. Pure.
std::vector<std::string> RemoveSecretValues(boost::property_tree::ptree& tree,
                                            std::span<const std::string> keys);

// What RemoveSecretsFromJobFile did.
struct SecretRemoval {
  enum class Outcome {
    kNoFile,      // there is no file (the processor removed it)
    kNoSecrets,   // the file holds no value of a secret key; it is unchanged
    kRemoved,     // the values were removed; the file was rewritten
    kNotRemoved,  // the file could not be read or rewritten and stays as it was
  } outcome = Outcome::kNoFile;
  std::vector<std::string> removedKeys;  // kRemoved: which
  std::string problem;                   // kNotRemoved: why
};

// Removes the values of `keys` from the job file at `path` (see RemoveSecretValues). The
// file is read as ReadJobFile reads it, unless it is larger than `maxBytes` (0: no limit);
// a file that holds secret values is written anew beside it (WriteNewJobFile: exclusive, mode
// 0600 on POSIX) and put in its place in one step (os::RenameOver), so the file is always
// either the old one whole or the new one whole. The new file holds the tree as read:
// elements, texts, attributes and comments, with the server's declaration and indentation
// (the blanks the reader keeps around child elements are dropped, as the writer indents
// anew). Never throws; a file that cannot be read, parsed or rewritten is left as it was,
// with the reason in `problem`.
SecretRemoval RemoveSecretsFromJobFile(const std::string& path, std::span<const std::string> keys,
                                       std::uintmax_t maxBytes);

// The debug line that says a job file was kept: "Job file kept: <path>." with
// " Secret values removed: <keys>." or " Secret values not removed: <problem>." when that
// applies; nullopt for kNoFile (nothing was kept).
std::optional<std::string> KeptJobFileLine(const std::string& path, const SecretRemoval& removal);
