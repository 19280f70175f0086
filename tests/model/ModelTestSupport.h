#pragma once
// Fixture for the model tests: a scripted host and profile, and no link or
// monitor left over from an earlier test.
#include <gtest/gtest.h>

#include "core/link/CommPort.h"
#include "core/model/ModuleValue.h"
#include "core/monitor/RamMonitor.h"
#include "support/FakeHost.h"

namespace qx::test {

class ModelTest : public ::testing::Test {
  protected:
    ModelTest() {
        ResetLink();
        SetMirrorSetting(true);
    }
    ~ModelTest() override { ResetLink(); }

    static void ResetLink() {
        RamMonitor::ResetInstance();
        CommPort::ResetInstance();
    }

    ScopedFakeHost host;
};

}  // namespace qx::test
