#include "frontend/message_boxes.h"

#include "frontend/program_texts.h"
#include "frontend/text_helpers.h"
#include "platform/platform.h"

namespace quib::frontend {

int showNotice(std::wstring_view text) {
    return platform::get().ui.messageBox(toNarrow(text), toNarrow(kProgramName),
                                         platform::kMbOk | platform::kMbIconExclamation);
}

int showErrorBox(std::wstring_view text) {
    return platform::get().ui.messageBox(toNarrow(text), "Error", platform::kMbOk | platform::kMbIconError);
}

}  // namespace quib::frontend
