// GoogleTest glue for FakeVm: EXPECT_VM_CLEAN(vm) / ASSERT_VM_CLEAN(vm) fail
// with every violation listed when the native code misused the JNIEnv or
// left a Get* without its Release.
#pragma once

#include <gtest/gtest.h>

#include "fake_jvm.hpp"

namespace fakejvm {

inline ::testing::AssertionResult VmIsClean(const char *expression, const FakeVm &vm) {
    const std::vector<std::string> problems = vm.violations();
    if (problems.empty() && vm.outstanding() == 0)
        return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << expression << " saw " << problems.size() << " violation(s), " << vm.outstanding()
            << " Get(s) not released:";
    for (const std::string &problem : problems)
        failure << "\n  " << problem;
    return failure;
}

} // namespace fakejvm

#define EXPECT_VM_CLEAN(vm) EXPECT_PRED_FORMAT1(::fakejvm::VmIsClean, vm)
#define ASSERT_VM_CLEAN(vm) ASSERT_PRED_FORMAT1(::fakejvm::VmIsClean, vm)
