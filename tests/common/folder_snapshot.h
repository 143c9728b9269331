// What a folder holds, to prove that a run left a folder it does not own exactly as it was: every entry
// below it with its kind, permissions and content (links by their target, never followed).
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace quib::testing {

inline std::map<std::string, std::string> folderSnapshot(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const fs::file_status status = entry.symlink_status();
        std::string what = std::to_string(static_cast<int>(status.permissions())) + " ";
        if (fs::is_symlink(status)) {
            what += "link " + fs::read_symlink(entry.path()).string();
        } else if (fs::is_directory(status)) {
            what += "folder";
        } else {
            std::ifstream in(entry.path(), std::ios::binary);
            std::stringstream content;
            content << in.rdbuf();
            what += "file " + content.str();
        }
        out[fs::relative(entry.path(), folder).string()] = what;
    }
    return out;
}

}  // namespace quib::testing
