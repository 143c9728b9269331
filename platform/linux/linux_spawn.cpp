#include "platform/linux/linux_spawn.h"

#include <cerrno>

#include "common/disktools/quiet_spawn.h"
#include "platform/linux/linux_sg_io.h"
#include "platform/platform.h"

namespace quib::platform {

std::vector<std::string> commandLineWords(const std::string& arguments) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (const char c : arguments) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

std::optional<std::uint32_t> runQuietly(const std::vector<std::string>& argv, std::uint32_t timeoutMs) {
    int startError = 0;
    const auto code = disktools::spawnQuietly(argv, timeoutMs, startError);
    if (!code) {
        setLastError(startError == ENOENT ? kErrorFileNotFound : sgio::systemErrorOf(startError));
        return std::nullopt;
    }
    setLastError(kErrorSuccess);
    return code;
}

}  // namespace quib::platform
