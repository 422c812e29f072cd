// One contract function called on the bridge's behalf: its arguments taken
// from a request's payload, its answer and the moves it may have written put
// into the reply's (channel/protocol.hpp). The function is looked up in the
// module's own export table at each call, as the bridge looks it up.
#pragma once

#include "module_loader.hpp"
#include "protocol.hpp"

#include <cstdint>

namespace vantrell::companion {

// Whether the module exports the contract function at `index` of the list.
bool exports_function(const loader::ExportTable &exports, std::uint8_t index);

// ok with the answer written; missing when the module lacks the function or
// there is no function at `index`; failed when the arguments are not what
// the function takes; too_long for a text answer over max_text.
channel::Status call_module(const loader::ExportTable &exports, std::uint8_t index, channel::PayloadReader &arguments,
                            channel::PayloadWriter &answer);

} // namespace vantrell::companion
