// Replays the host side of a recorded session through the bridge, with the
// fake VM in place of Java: every "host: method(arguments) -> answer" line of
// the transcript becomes that native method's call with those arguments, and
// the answer the bridge gives must be the recorded one. After each call the
// host line is written to standard output as recorded, so that the module's
// own lines, written during the calls, come out between them as they did in
// the recorded session (compare_session.cmake compares the two).
//
//   replay_session <transcript> <module path>
//
// The recorded "initializeLibrary(module)" loads the module path given here.
// Exit status 0 when every answer matched and the VM saw no misuse; 1 when
// not (each difference is written to standard error); 2 when the transcript
// cannot be read or names a call this program does not know.
#include "bridge_under_test.hpp"
#include "fake_jvm.hpp"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using bridge_test::Bridge;

// A transcript line the program cannot replay.
struct BadLine : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One host line: "method(argument, ...)" and, when the call answers, what
// follows " -> ".
struct Call {
    std::string method;
    std::vector<std::string> arguments;
    bool has_answer = false;
    std::string answer;
};

// Splits "a, "b, c", [1, 2]" at the commas outside quotes and brackets.
std::vector<std::string> split_arguments(const std::string &text) {
    std::vector<std::string> parts;
    std::string part;
    bool quoted = false;
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '[')
            ++depth;
        else if (!quoted && c == ']')
            --depth;
        if (!quoted && depth == 0 && c == ',' && i + 1 < text.size() && text[i + 1] == ' ') {
            parts.push_back(part);
            part.clear();
            ++i;
            continue;
        }
        part += c;
    }
    if (quoted || depth != 0)
        throw BadLine("unbalanced quotes or brackets in \"" + text + "\"");
    if (!part.empty() || !parts.empty())
        parts.push_back(part);
    return parts;
}

// Parses the text after "host: "; false for a line that is not a call
// ("session over").
bool parse_call(const std::string &text, Call &call) {
    std::size_t open = text.find('(');
    if (open == std::string::npos || open == 0)
        return false;
    for (std::size_t i = 0; i < open; ++i)
        if (!std::isalnum(static_cast<unsigned char>(text[i])))
            return false;
    // The closing parenthesis of the argument list: the last one before the
    // answer (an answer holds none), or the last of the line.
    std::size_t arrow = text.find(") -> ");
    std::size_t close = arrow != std::string::npos ? arrow : text.rfind(')');
    if (close == std::string::npos || close < open || (arrow == std::string::npos && close + 1 != text.size()))
        throw BadLine("no closing parenthesis");
    call.method = text.substr(0, open);
    call.arguments = split_arguments(text.substr(open + 1, close - open - 1));
    if (arrow != std::string::npos) {
        call.has_answer = true;
        call.answer = text.substr(arrow + 5);
    }
    return true;
}

long to_number(const std::string &text) {
    std::size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used);
    } catch (const std::exception &) {
        used = 0;
    }
    if (used == 0 || used != text.size())
        throw BadLine("\"" + text + "\" is not a number");
    return value;
}

std::string unquote(const std::string &text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        throw BadLine(text + " is not a quoted string");
    return text.substr(1, text.size() - 2);
}

// "[1, 2, 200]": the bytes as the host prints them, unsigned.
std::vector<int8_t> to_bytes(const std::string &text) {
    if (text.size() < 2 || text.front() != '[' || text.back() != ']')
        throw BadLine(text + " is not a byte list");
    std::vector<int8_t> bytes;
    for (const auto &item : split_arguments(text.substr(1, text.size() - 2))) {
        long value = to_number(item);
        if (value < 0 || value > 255)
            throw BadLine(item + " is not a byte");
        bytes.push_back(static_cast<int8_t>(static_cast<uint8_t>(value)));
    }
    return bytes;
}

std::string bytes_text(const std::vector<int8_t> &bytes) {
    std::string text = "[";
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text += (i ? ", " : "") + std::to_string(static_cast<uint8_t>(bytes[i]));
    return text + "]";
}

class Replay {
public:
    Replay(Bridge &bridge, std::string module_path) : b_(bridge), module_path_(std::move(module_path)) {}

    // Performs one call; returns what the host would print after " -> ", or
    // nothing for a call without an answer.
    bool perform(const Call &call, std::string &answer) {
        call_ = &call;
        next_ = 0;
        move_ = nullptr;
        if (call.method == "initializeLibrary") {
            expect_arguments(1);
            if (call.arguments[0] != "module")
                throw BadLine("initializeLibrary's argument must be the word module");
            answer = truth(b_.initializeLibrary(env_, cls_, vm_.string(std::string(module_path_))));
            return true;
        }
#define REPLAY_TAKE(kind, name) auto name = take_##kind();
#define REPLAY_PASS(kind, name) , name
#define REPLAY_METHOD(result, name, bytes, params, missing)                                                    \
    if (call.method == #name) {                                                                                \
        expect_arguments(bytes / 4);                                                                           \
        AI_PARAMS(bytes, params, , REPLAY_TAKE, REPLAY_TAKE)                                                   \
        return answer_##result(                                                                                \
            answer, [&] { return b_.name(env_, cls_ AI_PARAMS(bytes, params, , REPLAY_PASS, REPLAY_PASS)); }); \
    }
        AI_MODULE_FUNCTIONS(REPLAY_METHOD)
#undef REPLAY_METHOD
#undef REPLAY_PASS
#undef REPLAY_TAKE
        throw BadLine("no native method " + call.method);
    }

    std::vector<std::string> violations() const { return vm_.violations(); }

private:
    void expect_arguments(std::size_t count) const {
        if (call_->arguments.size() != count)
            throw BadLine(call_->method + " takes " + std::to_string(count) + " arguments");
    }
    const std::string &take() { return call_->arguments.at(next_++); }

    jint take_INT32() { return static_cast<jint>(to_number(take())); }
    jboolean take_FLAG() {
        const std::string &text = take();
        if (text != "true" && text != "false")
            throw BadLine(text + " is not a boolean");
        return text == "true" ? JNI_TRUE : JNI_FALSE;
    }
    jstring take_TEXT() {
        const std::string &text = take();
        return text == "null" ? nullptr : vm_.string(unquote(text));
    }
    jbyteArray take_MOVE_OUT() { return move_ = vm_.bytes(to_bytes(take())); }
    jbyteArray take_MOVE_IN() { return take_MOVE_OUT(); }

    static std::string truth(jboolean value) { return value ? "true" : "false"; }

    // A void call answers only when it fills the host's move array.
    template <class Invoke> bool answer_VOID(std::string &answer, Invoke invoke) {
        invoke();
        if (!move_)
            return false;
        answer = bytes_text(vm_.contents(move_));
        return true;
    }
    template <class Invoke> bool answer_TRUTH(std::string &answer, Invoke invoke) {
        answer = truth(invoke());
        return true;
    }
    template <class Invoke> bool answer_BOOL8(std::string &answer, Invoke invoke) {
        return answer_TRUTH(answer, invoke);
    }
    template <class Invoke> bool answer_VALUE(std::string &answer, Invoke invoke) {
        answer = std::to_string(static_cast<long>(invoke()));
        return true;
    }
    template <class Invoke> bool answer_TEXT(std::string &answer, Invoke invoke) {
        jstring text = invoke();
        answer = text ? "\"" + vm_.modified_utf8(text) + "\"" : "null";
        return true;
    }

    Bridge &b_;
    std::string module_path_;
    fakejvm::FakeVm vm_;
    JNIEnv *env_ = vm_.env();
    jclass cls_ = vm_.klass();
    const Call *call_ = nullptr;
    std::size_t next_ = 0;
    jbyteArray move_ = nullptr;
};

int replay(const char *transcript_path, const char *module_path, const char *bridge_path) {
    std::ifstream transcript(transcript_path);
    if (!transcript) {
        std::cerr << "cannot read " << transcript_path << "\n";
        return 2;
    }
    std::unique_ptr<Bridge> other_bridge = bridge_path ? std::make_unique<Bridge>(bridge_path) : nullptr;
    Bridge &bridge = other_bridge ? *other_bridge : bridge_test::bridge();
    if (!bridge.missing.empty()) {
        std::cerr << "native methods not exported: " << bridge.missing << "\n";
        return 1;
    }
    Replay session(bridge, module_path);
    const std::string host = "host: ";
    int differences = 0;
    int number = 0;
    std::string line;
    while (std::getline(transcript, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, host.size(), host) != 0)
            continue; // the module's line: the module writes it itself
        try {
            Call call;
            if (parse_call(line.substr(host.size()), call)) {
                std::string answer;
                bool answered = session.perform(call, answer);
                if (answered != call.has_answer || answer != call.answer) {
                    std::cerr << "line " << number << ": " << line << "\n  the bridge answered "
                              << (answered ? answer : "nothing") << "\n";
                    ++differences;
                }
            }
        } catch (const BadLine &error) {
            std::cerr << transcript_path << ":" << number << ": " << error.what() << ": " << line << "\n";
            return 2;
        }
        // Through the C library's stdout, which the module writes to as well,
        // flushed so that neither side's lines can overtake the other's.
        std::fputs((line + "\n").c_str(), stdout);
        std::fflush(stdout);
    }
    for (const auto &violation : session.violations()) {
        std::cerr << "VM misuse: " << violation << "\n";
        ++differences;
    }
    return differences ? 1 : 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: replay_session <transcript> <module path> [<bridge path>]\n";
        return 2;
    }
    try {
        return replay(argv[1], argv[2], argc == 4 ? argv[3] : nullptr);
    } catch (const std::exception &error) {
        std::cerr << "replay_session: " << error.what() << "\n";
        return 2;
    }
}
