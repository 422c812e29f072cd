// A fresh fake VM per test, the bridge, the probe reset, and the module slot
// emptied again afterwards. Every test ends by checking that the bridge
// released all it borrowed from the VM and misused nothing.
#pragma once

#include "bridge_under_test.hpp"
#include "fake_jvm.hpp"
#include "probe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bridge_test {

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(b.missing.empty()) << "native methods not exported: " << b.missing;
        probe_reset();
    }
    void TearDown() override {
        b.terminate(env, cls);
        for (const auto &violation : vm.violations())
            ADD_FAILURE() << "VM misuse: " << violation;
    }

    bool load(const char *path) { return b.initializeLibrary(env, cls, vm.string(std::string(path))) != 0; }

    // The calls that reached the scripted module, oldest first.
    static std::vector<std::string> module_calls() {
        std::vector<std::string> calls;
        for (size_t i = 0; i < probe_call_count(); ++i)
            calls.emplace_back(probe_call(i));
        return calls;
    }

    fakejvm::FakeVm vm;
    Bridge &b = bridge();
    JNIEnv *env = vm.env();
    jclass cls = vm.klass();
};

using Calls = std::vector<std::string>;

} // namespace bridge_test
