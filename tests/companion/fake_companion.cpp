// Stands in for the companion beside a copy of the bridge built for
// isolation, and answers every call as a broken or hostile companion could,
// as the name of the module it is asked to load says:
//   honest          getCreateGameMode 12345, getPublicName "fake"
//   oversized-text  a text's length 0xFFFFFFF0, and nothing after it
//   huge-text       a text's length 2^31 + 16, and nothing after it
//   stray-bytes     the answer, then 5 bytes more
//   other-call      the answer, named as the answer of another function
//   next-sequence   the answer, numbered as the next request's
// POSIX only: the bridge's checks are the same on every platform.
#include "attach.hpp"
#include "endpoint.hpp"
#include "module_functions.hpp"

#include <cstdint>
#include <cstring>
#include <string>

using namespace vantrell;

int main(int argc, char **argv) {
    companion::Attachment attached = companion::attach(argc, argv);
    if (!attached.area)
        return 1;
    channel::Endpoint endpoint(*attached.area, false, *attached.link, std::chrono::microseconds(50),
                               std::chrono::milliseconds(100));
    std::string scenario;
    for (std::uint32_t sequence = 1;; ++sequence) {
        channel::Header request{};
        if (endpoint.wait(sequence) != channel::Endpoint::Wait::ready || !endpoint.take(sequence, request))
            return 0;
        channel::Message &reply = endpoint.outgoing();
        channel::PayloadWriter answer(reply);
        channel::Header header{sequence, request.kind, request.index, channel::Status::ok, 0, 1, 0};
        if (request.kind == channel::Kind::hello) {
            answer.put(channel::protocol_version);
        } else if (request.kind == channel::Kind::load) {
            channel::PayloadReader path = endpoint.payload();
            scenario.clear();
            for (std::uint16_t unit = 0; path.get(unit);)
                scenario = unit == '/' ? std::string() : scenario + static_cast<char>(unit);
        } else if (request.kind == channel::Kind::call) {
            const bool text = request.index == fn::getPublicName::index || request.index == fn::getPreGameChat::index ||
                              request.index == fn::getPostGameChat::index;
            if (scenario == "oversized-text")
                answer.put(std::uint32_t{0xFFFFFFF0u});
            else if (scenario == "huge-text")
                answer.put(std::uint32_t{0x80000010u});
            else if (text)
                answer.put_text("fake");
            else
                answer.put(std::int32_t{12345});
            if (scenario == "stray-bytes")
                answer.write("stray", 5);
            if (scenario == "other-call")
                header.index = static_cast<std::uint8_t>(request.index + 1);
            if (scenario == "next-sequence")
                header.sequence = sequence + 1;
        }
        header.length = answer.length();
        reply.header = header;
        endpoint.publish(sequence);
    }
}
