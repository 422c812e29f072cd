#include "probe.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Script {
    std::vector<std::string> calls;
    std::map<std::string, int32_t> answers;
    std::map<std::string, const char *> texts;
    std::map<std::string, std::string> text_storage;
    std::vector<std::string> throwing;
    uint8_t move[5] = {};
    unsigned move_mask = 0;
    int loads = 0;
    int unloads = 0;
};

Script &script() {
    static Script instance;
    return instance;
}

void (*observer)(const char *, void *) = nullptr;
void *observer_context = nullptr;

} // namespace

void probe_reset(void) {
    int loads = script().loads, unloads = script().unloads;
    script() = Script{};
    script().loads = loads;
    script().unloads = unloads;
}

void probe_record(const char *line) {
    script().calls.emplace_back(line);
    if (observer)
        observer(line, observer_context);
}

void probe_observe(void (*new_observer)(const char *, void *), void *context) {
    observer = new_observer;
    observer_context = context;
}
size_t probe_call_count(void) { return script().calls.size(); }
const char *probe_call(size_t index) { return index < script().calls.size() ? script().calls[index].c_str() : nullptr; }

void probe_set_answer(const char *function, int32_t answer) { script().answers[function] = answer; }
int32_t probe_answer(const char *function, int32_t fallback) {
    auto found = script().answers.find(function);
    return found == script().answers.end() ? fallback : found->second;
}

void probe_set_text(const char *function, const char *text) {
    if (text) {
        script().text_storage[function] = text;
        script().texts[function] = script().text_storage[function].c_str();
    } else {
        script().texts[function] = nullptr;
    }
}
const char *probe_text(const char *function, const char *fallback) {
    auto found = script().texts.find(function);
    return found == script().texts.end() ? fallback : found->second;
}

void probe_set_move(const uint8_t bytes[5], unsigned mask) {
    std::memcpy(script().move, bytes, 5);
    script().move_mask = mask;
}
unsigned probe_move(uint8_t bytes[5]) {
    std::memcpy(bytes, script().move, 5);
    return script().move_mask;
}

void probe_set_throws(const char *function) { script().throwing.emplace_back(function); }
int probe_throws(const char *function) {
    for (const auto &name : script().throwing)
        if (name == function)
            return 1;
    // A program that does not link the probe (the checker) names it here.
    const char *named = std::getenv("TEST_PROBE_THROWS");
    return named && std::strcmp(named, function) == 0;
}

void probe_module_loaded(int loaded) { ++(loaded ? script().loads : script().unloads); }
int probe_loads(void) { return script().loads; }
int probe_unloads(void) { return script().unloads; }
