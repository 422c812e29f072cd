#include "module_slot.hpp"

#include "forwarding.hpp"
#include "jni_guards.hpp"
#include "module_functions.hpp"
#include "module_loader.hpp"
#include "module_width.hpp"
#include "system_property.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <new>
#include <vector>

namespace vantrell::module_slot {
namespace {

using namespace std::chrono_literals;

// The slot's module in process.
loader::ModuleHandle slot = nullptr;
loader::ExportTable slot_exports;

constexpr int own_bits = sizeof(void *) * 8;

// How long a companion may take to unload a module before it is ended.
constexpr auto unload_limit = 5s;
// How long the host's exit, or a sandboxed module's replacement, waits for
// a companion to end by itself with its output written.
constexpr auto leaving_limit = 2s;

#if defined(VANTRELL_SANDBOXED)
// The bridge built for a sandbox: a sandboxed companion can load nothing
// once it has confined itself, so every load gets a new one, which the
// slot alone holds.
constexpr bool sandboxed = true;
#else
constexpr bool sandboxed = false;
#endif
#if defined(VANTRELL_ISOLATED)
constexpr bool isolated = true;
#else
constexpr bool isolated = false;
#endif
// Between the paths of a list, as the host's platform writes them.
#if defined(_WIN32)
constexpr std::uint16_t path_separator = u';';
#else
constexpr std::uint16_t path_separator = u':';
#endif

// Everything about companions, behind `guard`, which is held for moments
// only, never while a request is in flight. Made once and never destroyed:
// at the host's exit other threads may still be using it.
struct Companions {
    platform::Lock guard;
    std::shared_ptr<Companion> by_width[2]; // the running companion for 32- and 64-bit modules (not sandboxed)
    Playing slot;                           // the slot's module, when a companion plays it
    std::shared_ptr<Companion> in_flight;   // the companion the turn's holder is talking to
    unsigned takers = 0;                    // loads and terminates waiting to take the turn over
    platform::Lock turn;                    // one request at a time
};
Companions &state() {
    alignas(Companions) static unsigned char storage[sizeof(Companions)];
    static Companions *made = new (storage) Companions;
    return *made;
}
std::atomic<bool> slot_through_companion{false};

std::shared_ptr<Companion> &running(int bits) { return state().by_width[bits == 64 ? 1 : 0]; }

// A companion let go of is let go outside `guard`: the last owner's
// release ends and reaps it, which takes a while.

// The slot's companion, taken out of it.
Playing take_slot() {
    std::lock_guard<platform::Lock> guard(state().guard);
    slot_through_companion = false;
    return std::exchange(state().slot, Playing{});
}

// The companion the turn's holder talks to from now on (or none). While a
// load or terminate waits to take the turn over, it is ended at once: the
// holder's request then comes back at once, however long the module would
// have kept it (a constructor that never returns, a call that hangs).
void talking_to(const std::shared_ptr<Companion> &companion) {
    std::shared_ptr<Companion> before;
    std::lock_guard<platform::Lock> guard(state().guard);
    before = std::exchange(state().in_flight, companion);
    if (companion && state().takers > 0)
        companion->end();
}

// The turn for a load or terminate: taken over from a request in flight if
// need be, whose companion is ended (and any its holder turns to before it
// lets go), so that the request gives its default at once.
class TakenTurn {
public:
    TakenTurn() : turn_(state().turn, std::defer_lock) {
        if (turn_.try_lock())
            return;
        {
            std::lock_guard<platform::Lock> guard(state().guard);
            ++state().takers;
            if (state().in_flight)
                state().in_flight->end();
        }
        turn_.lock();
        std::lock_guard<platform::Lock> guard(state().guard);
        --state().takers;
    }
    ~TakenTurn() { talking_to(nullptr); }

private:
    std::unique_lock<platform::Lock> turn_;
};

// At the host's exit every companion is told, ends by itself with its
// output written (a bounded wait), and is ended: nothing of a companion's
// comes after the host's own last word. Nothing is freed: other threads
// may still hold what they use.
void let_companions_finish() noexcept {
    std::vector<std::shared_ptr<Companion>> companions;
    {
        // On Windows the other threads are gone by now, one may have held
        // the lock: not waited for long.
        std::unique_lock<platform::Lock> guard(state().guard, std::defer_lock);
        const auto give_up = channel::Clock::now() + std::chrono::milliseconds(200);
        while (!guard.try_lock()) {
            if (channel::Clock::now() > give_up)
                return;
            channel::yield_processor();
        }
        for (const auto &companion : {state().by_width[0], state().by_width[1], state().slot.companion})
            if (companion)
                companions.push_back(companion);
    }
    for (const auto &companion : companions)
        companion->say_host_is_leaving();
    const auto until = channel::Clock::now() + leaving_limit;
    for (const auto &companion : companions)
        companion->wait_for_end(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(channel::Clock::duration::zero(), until - channel::Clock::now())));
    for (const auto &companion : companions)
        companion->end();
}

// Registered once a companion exists: run at the host's exit (or when this
// library is unloaded), after the host's own last output.
void watch_for_the_host_exit() {
    struct AtExit {
        ~AtExit() { let_companions_finish(); }
    };
    static AtExit watch;
}

// Unloads the module from its companion (its destructors run, its output
// is written); false when the companion did not answer in time, and is
// then lost.
bool unload(const Playing &playing) {
    const Companion::Reply reply = playing.companion->ask(channel::Kind::unload, 0, playing.module, no_payload,
                                                          channel::Clock::now() + unload_limit);
    if (reply.outcome == Companion::Outcome::answered && playing.companion->payload().done())
        return true;
    lost(playing.companion);
    return false;
}

// A sandboxed companion leaves with its module: told the host is done with
// it, it ends by itself with its output written (a bounded wait), then is
// ended.
void leave(const std::shared_ptr<Companion> &companion) {
    companion->say_host_is_leaving();
    companion->wait_for_end(leaving_limit);
    companion->end();
}

// The companion for `bits`-bit modules: the running one, or a new one when
// there is none, the one there has ended since, or it is sandboxed.
std::shared_ptr<Companion> companion_for(int bits) {
    if (!sandboxed) {
        std::shared_ptr<Companion> ended;
        std::lock_guard<platform::Lock> guard(state().guard);
        std::shared_ptr<Companion> &companion = running(bits);
        if (companion && companion->alive())
            return companion;
        ended = std::move(companion);
    }
    std::shared_ptr<Companion> started = Companion::start(bits, sandboxed);
    if (!started)
        return nullptr;
    watch_for_the_host_exit();
    if (!sandboxed) {
        std::lock_guard<platform::Lock> guard(state().guard);
        running(bits) = started;
    }
    return started;
}

// The module's number in `companion`, or 0 when it could not load it.
// `granted`: the paths a sandboxed companion may read besides.
std::uint32_t load_in(const std::shared_ptr<Companion> &companion, const std::uint16_t *units, std::size_t count,
                      const std::vector<std::vector<std::uint16_t>> &granted,
                      std::optional<channel::Clock::time_point> deadline) {
    const Companion::Reply reply = companion->ask(
        channel::Kind::load, 0, 0,
        [&](channel::PayloadWriter &payload) {
            if (count > channel::max_path_units || !payload.write(units, count * sizeof *units))
                return false;
            for (const auto &path : granted)
                if (path.size() > channel::max_path_units || !payload.put(std::uint16_t{0}) ||
                    !payload.write(path.data(), path.size() * sizeof path[0]))
                    return false;
            return true;
        },
        deadline);
    if (reply.outcome == Companion::Outcome::not_sent)
        return 0; // a path no loader takes
    const bool loaded = reply.outcome == Companion::Outcome::answered && reply.status == channel::Status::ok;
    if (reply.outcome == Companion::Outcome::lost ||
        (loaded && (!companion->payload().done() || companion->reply_header().module == 0))) {
        lost(companion);
        return 0;
    }
    return loaded ? companion->reply_header().module : 0;
}

// What the host asks of a companion now: a deadline for each request, and
// the paths a sandboxed module may read.
struct Settings {
    std::optional<channel::Clock::duration> limit;
    std::vector<std::vector<std::uint16_t>> granted;
};
Settings settings(JNIEnv *env) {
    Settings read;
    if (const std::uint32_t limit = milliseconds(system_property(env, "vantrell.callTimeout")))
        read.limit = std::chrono::milliseconds(limit);
    if (sandboxed)
        if (const auto value = system_property(env, "vantrell.sandbox.read"))
            read.granted = split(*value, path_separator);
    return read;
}

} // namespace

bool load(JNIEnv *env, jstring path) {
    TakenTurn turn;
    // A module already in the slot stays loaded, unreachable, as the
    // loader keeps it, here or in its companion; a sandbox's leaves.
    slot = nullptr;
    slot_exports = loader::ExportTable();
    if (const Playing replaced = take_slot(); sandboxed && replaced.companion) {
        talking_to(replaced.companion);
        if (unload(replaced))
            leave(replaced.companion);
    }
    if (!path)
        return false;
    const Settings asked = isolated ? settings(env) : Settings{};
    StringChars chars;
    if (!chars.acquire(env, path))
        return false; // the VM's exception stays pending for the host
    static_assert(sizeof(jchar) == sizeof(std::uint16_t), "jchar is a UTF-16 unit");
    const auto *units = reinterpret_cast<const std::uint16_t *>(chars.data());
    const auto count = static_cast<std::size_t>(chars.length());
    const int bits = loader::x86_module_bits(units, count);
    // The bridge built for isolation plays every module in a companion of
    // its own width (a file of no x86 width is for this process's width,
    // and its companion refuses it as the loader here would); the others
    // only a module of the other width.
    const int companion_bits = isolated ? (bits != 0 ? bits : own_bits) : (bits != 0 && bits != own_bits ? bits : 0);
    if (companion_bits != 0) {
        const std::shared_ptr<Companion> companion = companion_for(companion_bits);
        if (!companion)
            return false;
        talking_to(companion);
        const Playing loaded{companion, 0, asked.limit};
        const std::uint32_t module = load_in(companion, units, count, asked.granted, loaded.deadline());
        if (module == 0)
            return false; // a sandboxed companion, which serves nothing else, ends as it is let go

        std::lock_guard<platform::Lock> guard(state().guard);
        state().slot = Playing{companion, module, asked.limit}; // empty before: take_slot() above
        slot_through_companion = true;
        return true;
    }
    slot = loader::load_module(units, count);
    slot_exports = loader::export_table(slot);
    return slot != nullptr;
}

void *find(const loader::ExportName &name) noexcept { return slot ? loader::find_export(slot_exports, name) : nullptr; }

bool through_companion() noexcept { return slot_through_companion; }

Playing playing() {
    std::lock_guard<platform::Lock> guard(state().guard);
    return state().slot;
}

Turn::Turn(const Playing &playing) : playing_(playing) {
    state().turn.lock();
    talking_to(playing.companion);
}

Turn::~Turn() {
    talking_to(nullptr);
    state().turn.unlock();
}

bool Turn::still_playing() const {
    std::lock_guard<platform::Lock> guard(state().guard);
    return state().slot.companion == playing_.companion && state().slot.module == playing_.module;
}

void lost(const std::shared_ptr<Companion> &companion) noexcept {
    if (!companion)
        return;
    companion->end();
    Playing emptied;
    std::shared_ptr<Companion> dropped[2];
    std::lock_guard<platform::Lock> guard(state().guard);
    if (state().slot.companion == companion) {
        emptied = std::exchange(state().slot, Playing{});
        slot_through_companion = false;
    }
    for (int bits : {32, 64})
        if (running(bits) == companion)
            dropped[bits == 64] = std::move(running(bits));
}

void terminate() {
    TakenTurn turn;
    if (const Playing ended = take_slot(); ended.companion) {
        talking_to(ended.companion);
        forward_to_companion<fn::terminate>(ended, nullptr);
        if (unload(ended) && sandboxed)
            leave(ended.companion);
        return;
    }
    if (!slot)
        return;
    if (auto module_terminate = reinterpret_cast<fn::terminate::pointer>(find(fn::terminate::export_name)))
        module_terminate();
    loader::unload_module(slot);
    slot = nullptr;
    slot_exports = loader::ExportTable();
}

} // namespace vantrell::module_slot
