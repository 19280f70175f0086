// QUORVEXI_TRACE means the same to the desktop program and to qvx: set and
// neither empty nor "0" turns trace lines on.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "core/host/ConsoleHost.h"
#include "gui/GuiTestSupport.h"
#include "gui/shell/QtHost.h"
#include "support/ScopedEnv.h"

namespace qx::test {
namespace {

TEST(TraceVariable, OneRuleForBothPrograms) {
    TestApp();
    const struct {
        std::optional<std::string> value;
        bool traced;
    } cases[] = {{std::nullopt, false}, {"", false}, {"0", false}, {"1", true}, {"yes", true}};
    for (const auto& c : cases) {
        const std::string label = c.value ? "\"" + *c.value + "\"" : "unset";
        ScopedEnv env;
        env.Set("QUORVEXI_TRACE", c.value);
        std::string desktop;
        {
            ::testing::internal::CaptureStderr();
            gui::QtHost host;
            host.Trace("\r\ntrace-line");
            desktop = ::testing::internal::GetCapturedStderr();
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
}

}  // namespace
}  // namespace qx::test
