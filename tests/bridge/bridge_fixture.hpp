// A fresh fake VM per test, the bridge, the probe reset, and the module slot
// emptied again afterwards. Every test ends by checking that the bridge
// released all it borrowed from the VM and misused nothing. Loads and
// unloads are counted from the start of the test, so that the tests also
// pass when one process runs them all (as under valgrind).
#pragma once

#include "bridge_under_test.hpp"
#include "fake_jvm.hpp"
#include "module_diagnostics.hpp"
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
        loads_at_start_ = probe_loads();
        unloads_at_start_ = probe_unloads();
        vm.observe_calls([this](const char *function) { sequence.push_back(std::string("JNI ") + function); });
        probe_observe(
            [](const char *line, void *self) {
                static_cast<BridgeTest *>(self)->sequence.push_back(std::string("module ") + line);
            },
            this);
    }
    void TearDown() override {
        probe_observe(nullptr, nullptr);
        b.terminate(env, cls);
        release_leftover_loads();
        for (const auto &violation : vm.violations())
            ADD_FAILURE() << "VM misuse: " << violation;
    }

    // The VM's calls ("JNI GetStringUTFChars") and the module's ("module
    // initialize(text)") in the one order they happened.
    std::vector<std::string> sequence;

    bool load(const char *path) { return b.initializeLibrary(env, cls, vm.string(std::string(path))) != 0; }

    // Load and unload notices of the modules since the test began.
    int loads() const { return probe_loads() - loads_at_start_; }
    int unloads() const { return probe_unloads() - unloads_at_start_; }

    // Gives back the loads of the modules with load notices that the loader
    // still counts once the slot is empty: a load into a full slot, or
    // before a failed load, keeps the earlier load (slot_test.cpp). Each
    // test then meets them unmapped, also when one process runs them all.
    // Only those give-backs show in unloads(): a module found unmapped is
    // mapped and unmapped again unseen.
    void release_leftover_loads() {
        for (const char *path : {SCRIPTED_MODULE_PATH, PARTIAL_MODULE_PATH}) {
            for (int attempt = 0; attempt < 1000; ++attempt) {
                const int mapped_before = probe_loads();
                auto handle = vantrell::diagnostics::load_module(std::string(path));
                ASSERT_NE(handle, nullptr) << path;
                vantrell::loader::unload_module(handle);
                if (probe_loads() != mapped_before) { // this load mapped it: it was not held
                    ++loads_at_start_;
                    ++unloads_at_start_;
                    break;
                }
                vantrell::loader::unload_module(handle);
            }
        }
    }

    // The calls that reached the scripted module, oldest first.
    static std::vector<std::string> module_calls() {
        std::vector<std::string> calls;
        for (size_t i = 0; i < probe_call_count(); ++i)
            calls.emplace_back(probe_call(i));
        return calls;
    }

    fakejvm::FakeVm vm;
    Bridge &b = bridge();
    int loads_at_start_ = 0;
    int unloads_at_start_ = 0;
    JNIEnv *env = vm.env();
    jclass cls = vm.klass();
};

using Calls = std::vector<std::string>;

} // namespace bridge_test
