// The scripted test module: exports all 36 functions, generated from the
// contract's list. Each records "name(arg,...)" in the probe, writes the
// scripted move bytes into a move record it is given, throws when told to,
// and answers what the probe scripts (0, or its own name for a text).
#include "ai_module_list.h"
#include "probe.h"

#include <stdexcept>
#include <string>

namespace {

class CallLine {
public:
    explicit CallLine(const char *name) : line_(name) { line_ += '('; }
    void add(int32_t value) { next() += std::to_string(value); }
    void add(const char *text) { next() += text ? text : "(null)"; }
    void add(const ai_move *move) {
        const uint8_t *bytes = &move->fromX;
        next() += '[';
        for (int i = 0; i < AI_MOVE_SIZE; ++i)
            line_ += (i ? " " : "") + std::to_string(bytes[i]);
        line_ += ']';
    }
    void record() {
        line_ += ')';
        probe_record(line_.c_str());
    }

private:
    std::string &next() {
        if (line_.back() != '(')
            line_ += ',';
        return line_;
    }
    std::string line_;
};

template <class T> void write_scripted_move(T) {}
void write_scripted_move(ai_move *move) {
    uint8_t bytes[AI_MOVE_SIZE];
    unsigned mask = probe_move(bytes);
    uint8_t *record = &move->fromX;
    for (int i = 0; i < AI_MOVE_SIZE; ++i)
        if (mask & (1u << i))
            record[i] = bytes[i];
}

template <class Result> Result scripted_answer(const char *name) { return static_cast<Result>(probe_answer(name, 0)); }
template <> const char *scripted_answer<const char *>(const char *name) { return probe_text(name, name); }
template <> void scripted_answer<void>(const char *) {}

} // namespace

#define SCRIPTED_NONE
#define SCRIPTED_RECORD(kind, name) line.add(name);
#define SCRIPTED_WRITE(kind, name) write_scripted_move(name);
#define SCRIPTED_FUNCTION(result, name, bytes, params, missing)                   \
    extern "C" AI_RESULT_##result AI_CALL name(AI_DECL_PARAMS(bytes, params)) {   \
        CallLine line(#name);                                                     \
        AI_PARAMS(bytes, params, SCRIPTED_NONE, SCRIPTED_RECORD, SCRIPTED_RECORD) \
        line.record();                                                            \
        AI_PARAMS(bytes, params, SCRIPTED_NONE, SCRIPTED_WRITE, SCRIPTED_WRITE)   \
        if (probe_throws(#name))                                                  \
            throw std::runtime_error("scripted failure in " #name);               \
        return scripted_answer<AI_RESULT_##result>(#name);                        \
    }
AI_MODULE_FUNCTIONS(SCRIPTED_FUNCTION)
