// QUORVEXI_TRACE means the same to the desktop program and to qvx: set and
// neither empty nor "0" turns trace lines on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "core/host/ConsoleHost.h"
#include "gui/GuiTestSupport.h"
#include "gui/shell/QtHost.h"

namespace qx::test {
namespace {

// What was written to the error stream while the scope lived.
class StderrCapture {
  public:
    StderrCapture() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        dup2(fileno(file_), STDERR_FILENO);
    }
    ~StderrCapture() {
        Restore();
        std::fclose(file_);
    }
    std::string Text() {
        Restore();
        std::string out(static_cast<std::size_t>(std::ftell(file_)), '\0');
        std::rewind(file_);
        out.resize(std::fread(out.data(), 1, out.size(), file_));
        return out;
    }

  private:
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
    }
    std::FILE* file_;
    int saved_ = -1;
};

TEST(TraceVariable, OneRuleForBothPrograms) {
    TestApp();
    const struct {
        std::optional<const char*> value;
        bool traced;
    } cases[] = {{std::nullopt, false}, {"", false}, {"0", false}, {"1", true}, {"yes", true}};
    for (const auto& c : cases) {
        const std::string label = c.value ? std::string("\"") + *c.value + "\"" : "unset";
        if (c.value)
            setenv("QUORVEXI_TRACE", *c.value, 1);
        else
            unsetenv("QUORVEXI_TRACE");

        std::string desktop;
        {
            StderrCapture err;
            gui::QtHost host;
            host.Trace("\r\ntrace-line");
            desktop = err.Text();
        }
        EXPECT_EQ(desktop.find("trace-line") != std::string::npos, c.traced)
            << "quorvexi, QUORVEXI_TRACE " << label;

        std::FILE* stream = std::tmpfile();
        {
            ConsoleHost host;
            host.SetErrorStream(stream);
            host.Trace("\r\ntrace-line");
        }
        const bool console = std::ftell(stream) > 0;
        std::fclose(stream);
        EXPECT_EQ(console, c.traced) << "qvx, QUORVEXI_TRACE " << label;
    }
    unsetenv("QUORVEXI_TRACE");
}

}  // namespace
}  // namespace qx::test
