// The companion: loads one module of its own width with the project's
// loader and serves the bridge's calls over its channel (protocol.hpp) until
// the bridge asks it to unload, the channel breaks or the host ends. It
// writes nothing of its own; the module's output goes to the standard
// streams it shares with the host.
//
//   POSIX:   vantrell-companion-i386 <channel descriptor> <host's process id>
//   Windows: vantrell-companion-x86.exe <pipe handle to read> <pipe handle to write>
// (On Windows the host's job object ends the companion with the host.)
#include "guarded_call.hpp"
#include "module_functions.hpp"
#include "module_loader.hpp"
#include "protocol.hpp"
#if defined(_WIN32)
#include "pipe_channel.hpp"
#else
#include "socket_channel.hpp"
#endif

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace vantrell::companion {
namespace {

// An argument as the companion holds it for one call.
template <class Kind> struct Value;
template <> struct Value<param_INT32> {
    std::int32_t number = 0;
    bool receive(Channel &c) { return c.get(number); }
    std::int32_t argument() { return number; }
    bool send_back(Channel &) { return true; }
};
template <> struct Value<param_FLAG> : Value<param_INT32> {};
template <> struct Value<param_TEXT> {
    std::string text;
    bool is_null = false;
    bool receive(Channel &c) { return c.get_text(text, is_null); }
    const char *argument() { return is_null ? nullptr : text.c_str(); }
    bool send_back(Channel &) { return true; }
};
template <> struct Value<param_MOVE_IN> {
    ai_move move{};
    bool receive(Channel &c) { return c.read(&move, AI_MOVE_SIZE); }
    ai_move *argument() { return &move; }
    bool send_back(Channel &c) { return c.write(&move, AI_MOVE_SIZE); }
};
template <> struct Value<param_MOVE_OUT> : Value<param_MOVE_IN> {};

template <class Kind> inline constexpr bool taken_from_vm = false;
template <> inline constexpr bool taken_from_vm<param_TEXT> = true;
template <> inline constexpr bool taken_from_vm<param_MOVE_IN> = true;

bool send_result(Channel &c, std::int32_t answer) { return c.put(answer); }
bool send_result(Channel &c, ai_bool8 answer) { return c.put(answer); }
bool send_result(Channel &c, const char *answer) { return c.put_text(answer); }

// One call of Fn, looked up in the module's own export table now.
template <class Fn, class... Kinds> bool serve(Channel &c, const loader::ExportTable &table, kinds<void, Kinds...> *) {
    auto function = reinterpret_cast<typename Fn::pointer>(loader::find_export(table, Fn::export_name));
    const std::uint8_t found = function ? 1 : 0;
    std::tuple<Value<Kinds>...> values;
    auto receive_all = [&] { return std::apply([&](auto &...v) { return (v.receive(c) && ...); }, values); };
    if constexpr ((taken_from_vm<Kinds> || ...)) {
        std::uint8_t go = 0;
        if (!c.put(found))
            return false;
        if (!found)
            return true;
        if (!c.get(go))
            return false;
        if (!go)
            return true;
        if (!receive_all())
            return false;
    } else {
        if (!receive_all() || !c.put(found))
            return false;
        if (!found)
            return true;
    }
    auto call = [&] { return std::apply([&](auto &...v) { return function(v.argument()...); }, values); };
    if constexpr (std::is_void_v<decltype(call())>) {
        // endGame's exceptions end here, as in the bridge.
        if constexpr (std::is_same_v<Fn, fn::endGame>)
            platform::call_guarded(call);
        else
            call();
        // The call's end: the host goes on only once the module has done
        // (and written) all it does for the call.
        if (!c.put(std::uint8_t{1}))
            return false;
    } else if (!send_result(c, call())) {
        return false;
    }
    return std::apply([&](auto &...v) { return (v.send_back(c) && ...); }, values);
}

using Server = bool (*)(Channel &, const loader::ExportTable &);
#define VANTRELL_COMPANION_SERVER(result, name, bytes, params, missing)                  \
    [](Channel &c, const loader::ExportTable &table) {                                   \
        return serve<fn::name>(c, table, static_cast<fn::name::param_kinds *>(nullptr)); \
    },
const Server servers[] = {AI_MODULE_FUNCTIONS(VANTRELL_COMPANION_SERVER)};
#undef VANTRELL_COMPANION_SERVER

int run(Channel &c) {
    std::uint32_t magic = 0, version = 0, count = 0;
    if (!c.get(magic) || !c.get(version) || !c.get(count) || magic != protocol_magic)
        return 2;
    std::vector<std::uint16_t> units(count);
    if (count > 0 && !c.read(units.data(), count * sizeof(std::uint16_t)))
        return 2;
    loader::ModuleHandle module = version == protocol_version ? loader::load_module(units.data(), count) : nullptr;
    const std::uint8_t loaded = module ? 1 : 0;
    if (!c.put(protocol_magic) || !c.put(protocol_version) || !c.put(loaded) || !c.flush() || !module)
        return 3;
    const loader::ExportTable table = loader::export_table(module);
    for (std::uint8_t request = 0; c.get(request);) {
        if (request == request_unload) {
            loader::unload_module(module);
            c.put(std::uint8_t{1});
            c.flush();
            return 0;
        }
        if (request >= sizeof servers / sizeof servers[0] || !servers[request](c, table))
            break;
    }
    // The channel broke: the host is gone or gave up on this companion.
    return 4;
}

} // namespace
} // namespace vantrell::companion

#if defined(_WIN32)

int main(int argc, char **argv) {
    if (argc != 3)
        return 1;
    auto handle = [](const char *text) {
        return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::strtoull(text, nullptr, 10)));
    };
    vantrell::companion::PipeChannel channel(handle(argv[1]), handle(argv[2]));
    return vantrell::companion::run(channel);
}

#else

int main(int argc, char **argv) {
    if (argc != 3)
        return 1;
    // Ends with the host, however the host ends, even while a module call
    // hangs: the host's end closes the channel, and this process is handed
    // to another parent. (A parent-death signal would fire when the host's
    // thread that started it ends, not the host.)
    const auto host = static_cast<pid_t>(std::strtol(argv[2], nullptr, 10));
    if (getppid() != host)
        return 1;
    std::thread([host] {
        while (getppid() == host)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        _exit(0);
    }).detach();
    vantrell::companion::SocketChannel channel(static_cast<int>(std::strtol(argv[1], nullptr, 10)));
    return vantrell::companion::run(channel);
}

#endif
