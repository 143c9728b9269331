#include "common/disktools/tool_commands.h"

#include <cctype>

#include "common/disktools/diskpart_script.h"

namespace quib::disktools {
namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string programName(const std::string& program) {
    const std::size_t slash = program.find_last_of("\\/");
    return lower(slash == std::string::npos ? program : program.substr(slash + 1));
}

std::vector<std::string> switchWords(const std::string& arguments) {
    std::string spaced;
    for (const char c : arguments) {
        if (c == '/') spaced += ' ';
        spaced += c;
    }
    return blankSeparatedWords(spaced);
}

char driveWord(const std::string& word) {
    return word.size() == 2 && word[1] == ':' && std::isalpha(static_cast<unsigned char>(word[0]))
               ? static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])))
               : 0;
}

std::optional<std::string> diskpartScriptPath(const std::string& arguments) {
    std::string rest = arguments;
    rest.erase(0, rest.find_first_not_of(" \t"));
    if (rest.size() <= 3 || lower(rest.substr(0, 2)) != "/s" ||
        !std::isspace(static_cast<unsigned char>(rest[2])))
        return std::nullopt;
    std::string path = rest.substr(3);
    path.erase(0, path.find_first_not_of(" \t\""));
    path.erase(path.find_last_not_of(" \t\"") + 1);
    if (path.empty()) return std::nullopt;
    return path;
}

FormatRequest parseFormatArguments(const std::string& arguments) {
    FormatRequest request;
    const std::vector<std::string> words = switchWords(arguments);
    if (!words.empty()) request.letter = driveWord(words[0]);
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string w = lower(words[i]);
        if (w == "/y")
            request.confirmed = true;
        else if (w.rfind("/fs:", 0) == 0)
            request.fileSystem = w.substr(4);
        else if (w != "/q")
            request.unknownSwitch = true;
    }
    return request;
}

LabelRequest parseLabelArguments(const std::string& arguments) {
    LabelRequest request;
    const std::vector<std::string> words = switchWords(arguments);
    if (!words.empty()) request.letter = driveWord(words[0]);
    for (std::size_t i = 1; i < words.size(); ++i) request.label += (i > 1 ? " " : "") + words[i];
    return request;
}

}  // namespace quib::disktools
