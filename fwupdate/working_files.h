// The update's working files: "KRVFW_Temp" under the library's working folder.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quib::fwupdate {

// "<working folder><sep>KRVFW_Temp" and a file in it ("%s\\%s\\%s").
std::string tempFolder();
std::string tempFilePath(std::string_view fileName);
// Creates the sub-folder (an existing one is fine; a link or a file in its place is refused and logged).
bool createTempFolder();
// Deletes a file of the sub-folder; false when there was none (or it could not be deleted).
bool deleteTempFile(std::string_view fileName);
// Makes way for a working file written anew: creates the sub-folder and deletes an old copy. When there
// was none, logs `noOldCopyFormat` (a "%s:%d: ...%s..." line) with `kFn` and the file's path. Returns the
// path, or the empty text when the sub-folder is not a folder of ours (nothing may then be written).
std::string clearTempFile(const char* kFn, std::string_view fileName, const char* noOldCopyFormat);

// A whole file, or none when it is missing, a folder or unreadable (the system error is kept).
std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path);

}  // namespace quib::fwupdate
