#pragma once
// Records every message box a Qt host is asked for. The host's answerer is
// its only test seam: the recorder wraps the answer a test gives (none: the
// box is shown) and keeps each box in the order asked.
#include <optional>
#include <utility>
#include <vector>

#include "gui/shell/QtHost.h"

namespace qx::test {

class MessageRecorder {
  public:
    // The answerer to install; it must not outlive the recorder.
    gui::QtHost::Answerer Recording(gui::QtHost::Answerer answer = {}) {
        return [this, answer = std::move(answer)](
                   const gui::MessageRecord& m) -> std::optional<MsgResult> {
            messages_.push_back(m);
            if (answer) return answer(m);
            return std::nullopt;
        };
    }
    const std::vector<gui::MessageRecord>& Messages() const { return messages_; }
    void Clear() { messages_.clear(); }

  private:
    std::vector<gui::MessageRecord> messages_;
};

}  // namespace qx::test
