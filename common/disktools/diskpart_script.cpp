#include "common/disktools/diskpart_script.h"

#include <cctype>
#include <charconv>
#include <optional>

namespace quib::disktools {
namespace {

std::string lower(std::string_view word) {
    std::string out(word);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string> words(std::string_view line) {
    std::vector<std::string> out = blankSeparatedWords(line);
    for (std::string& word : out) word = lower(word);
    return out;
}

std::optional<std::uint32_t> number(const std::string& word) {
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size()) return std::nullopt;
    return value;
}

// One line's words (without "noerr") as a command.
std::optional<DiskpartCommand> command(const std::vector<std::string>& w) {
    using Op = DiskpartCommand::Op;
    DiskpartCommand c;
    const auto is = [&w](std::initializer_list<const char*> expected) {
        if (w.size() != expected.size()) return false;
        std::size_t i = 0;
        for (const char* e : expected)
            if (w[i++] != e) return false;
        return true;
    };
    if (is({"list", "disk"})) return c.op = Op::ListDisk, c;
    if (is({"online", "disk"})) return c.op = Op::OnlineDisk, c;
    if (is({"attributes", "disk", "clear", "readonly"})) return c.op = Op::ClearReadOnly, c;
    if (is({"clean"})) return c.op = Op::Clean, c;
    if (is({"convert", "mbr"})) return c.op = Op::ConvertMbr, c;
    if (is({"convert", "gpt"})) return c.op = Op::ConvertGpt, c;
    if (is({"create", "partition", "primary"})) return c.op = Op::CreatePrimary, c;
    if (is({"active"})) return c.op = Op::Active, c;
    if (w.size() == 3 && w[0] == "select" && (w[1] == "disk" || w[1] == "partition")) {
        const auto n = number(w[2]);
        if (!n) return std::nullopt;
        c.op = w[1] == "disk" ? Op::SelectDisk : Op::SelectPartition;
        c.number = *n;
        return c;
    }
    if (w.size() == 2 && w[0] == "assign" && w[1].size() == 8 && w[1].compare(0, 7, "letter=") == 0 &&
        std::isalpha(static_cast<unsigned char>(w[1][7]))) {
        c.op = Op::AssignLetter;
        c.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(w[1][7])));
        return c;
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::string> blankSeparatedWords(std::string_view line) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
        const std::size_t start = at;
        while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) ++at;
        if (at > start) out.emplace_back(line.substr(start, at - start));
    }
    return out;
}

DiskpartScript parseDiskpartScript(std::string_view text) {
    DiskpartScript script;
    int lineNumber = 0;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        std::vector<std::string> w = words(line);
        if (w.empty() || w[0] == "rem") continue;
        bool noerr = false;
        if (w.back() == "noerr") {
            noerr = true;
            w.pop_back();
        }
        auto c = command(w);
        if (!c) {
            script.badLine = lineNumber;
            script.badText = std::string(line);
            break;
        }
        c->noerr = noerr;
        c->line = lineNumber;
        script.commands.push_back(*c);
    }
    return script;
}

}  // namespace quib::disktools
