// The library's working folder and its temporary sub-folder.
#pragma once

#include <string>

namespace quib::devcore {

inline constexpr const char* kTempFolderName = "KRVFW_Temp";

// Folder of the program that loaded the library: its path cut at the last separator.
std::string programFolder();
// "<folder><separator>KRVFW_Temp".
std::string tempFolderOf(const std::string& strWorkingFolder);
// Deletes a folder with everything in it; read-only files are made writable first. False when anything
// could not be removed (a missing folder is success).
bool removeFolderTree(const std::string& strFolder);

}  // namespace quib::devcore
