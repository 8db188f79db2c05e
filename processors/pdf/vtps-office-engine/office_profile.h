// The private LibreOffice profile the engine makes at each start, and whose settings every
// conversion inherits: macros never run, linked content (images, OLE objects, sections, data
// sources) is neither fetched nor updated, no lock or backup files are written, and the
// first-start work (graphics tests, the profile's migration) is marked as done so that a
// worker starts in a fraction of a second. Functions of their arguments and the files they
// write.
#pragma once

#include <string>

namespace pdf::office {

// The settings file's content (registrymodifications.xcu) for LibreOffice `version`
// ("7.4").
std::string ProfileSettings(const std::string& version);

// The version LibreOffice at `installPath` (".../program") says it is, from its registry
// ("7.4"); "" when it cannot be read.
std::string InstalledVersion(const std::string& installPath);

// Makes the profile in `folder` (emptied first): "folder/user/registrymodifications.xcu".
// Returns "" or why it could not be written.
std::string MakeOfficeProfile(const std::string& folder, const std::string& version);

}  // namespace pdf::office
