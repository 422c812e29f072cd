#include "bridge_under_test.hpp"

#include "module_diagnostics.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace bridge_test {

std::string jni_export_name(const char *method, int argument_bytes) {
    std::string name = std::string("Java_com_quenbrook_ravo_tessel_ai_NativeAIBridge_") + method;
#if defined(_WIN32) && !defined(_WIN64)
    name = "_" + name + "@" + std::to_string(8 + argument_bytes);
#else
    (void)argument_bytes;
#endif
    return name;
}

namespace {

vantrell::loader::ModuleHandle load_bridge(const std::string &path) {
    auto handle = vantrell::diagnostics::load_module(path);
    if (!handle)
        throw std::runtime_error("cannot load the bridge " + path + ": " + vantrell::diagnostics::last_error());
    return handle;
}

template <class Pointer>
void find(vantrell::loader::ModuleHandle bridge, Pointer &pointer, const char *method, int bytes,
          std::string &missing) {
    std::string name = jni_export_name(method, bytes);
    pointer = reinterpret_cast<Pointer>(vantrell::loader::find_export(bridge, name.c_str()));
    if (!pointer)
        missing += name + " ";
}

} // namespace

Bridge::Bridge() : Bridge(VANTRELL_PATH) {}

Bridge::Bridge(const std::string &path) {
    auto handle = load_bridge(path);
    find(handle, initializeLibrary, "initializeLibrary", 4, missing);
#define BRIDGE_TEST_FIND(result, name, bytes, params, default_answer) find(handle, name, #name, bytes, missing);
    AI_MODULE_FUNCTIONS(BRIDGE_TEST_FIND)
#undef BRIDGE_TEST_FIND
}

Bridge &bridge() {
    static Bridge instance;
    return instance;
}

} // namespace bridge_test
