// bench.json as a whole: the order its sections are read in, and the small top-level settings.
#include "bench/description/parser.h"

namespace bench {

int BenchDescription::bridgeIndex(const std::string& id) const {
    for (std::size_t i = 0; i < bridges.size(); ++i)
        if (bridges[i].id == id) return static_cast<int>(i);
    return -1;
}

BenchDescription parseDescription(const nlohmann::json& json, const std::string& source) {
    BenchDescription out;
    description_reader::Parser(out, source).parseTop(json);
    return out;
}

namespace description_reader {

void Parser::parseTop(const nlohmann::json& json) {
    const JsonReader top(json, m_source, "");
    top.requireObject({"controllers", "system_disks", "volumes", "registry", "message_box_answers",
                       "dialog_answer", "faults", "processor_architecture", "clock_start_unix",
                       "system_volume_letter", "registry_read_only", "host_registry",
                       "diskpart_mbr_first_sector"});
    m_out.hostRegistry = top.flag("host_registry", false);
    m_out.processorArchitecture =
        static_cast<std::uint32_t>(top.integer("processor_architecture", 9, 0, 0xFFFF));
    m_out.clockStartUnix = top.integer("clock_start_unix", 1700000000, 0, 1LL << 40);
    m_out.diskpartMbrFirstSector =
        static_cast<std::uint32_t>(top.integer("diskpart_mbr_first_sector", 0, 0, 0xFFFFFF));
    parseSystemDisks(top);
    if (top.has("controllers")) {
        const JsonReader controllers = top.child("controllers");
        controllers.requireArray();
        for (std::size_t i = 0; i < controllers.size(); ++i) parseController(controllers.element(i));
    }
    checkBridgeNumbers();
    parseVolumes(top);
    if (top.has("registry")) parseRegistry(top.child("registry"));
    if (top.has("registry_read_only")) parseRegistryReadOnly(top.child("registry_read_only"));
    if (top.has("message_box_answers")) {
        const JsonReader answers = top.child("message_box_answers");
        answers.requireArray();
        for (std::size_t i = 0; i < answers.size(); ++i) {
            const JsonReader a = answers.element(i);
            if (!a.value().is_number_integer())
                a.fail("expected an integer answer (1 IDOK, 2 IDCANCEL, 6 IDYES, 7 IDNO)");
            m_out.messageBoxAnswers.push_back(a.value().get<int>());
        }
    }
    const std::string dialogAnswer = top.text("dialog_answer", "ok");
    if (dialogAnswer != "ok" && dialogAnswer != "close" && dialogAnswer != "window")
        top.child("dialog_answer").fail("expected \"ok\", \"close\" or \"window\"");
    m_out.dialogClosedByUser = dialogAnswer == "close";
    m_out.dialogLeftToWindow = dialogAnswer == "window";
    if (top.has("faults")) {
        const JsonReader faults = top.child("faults");
        faults.requireArray();
        for (std::size_t i = 0; i < faults.size(); ++i) parseFault(faults.element(i));
    }
}

}  // namespace description_reader
}  // namespace bench
