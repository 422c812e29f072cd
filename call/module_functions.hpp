// One tag type per module function, made from the contract's list: its
// export name (with its ELF hashes, computed here at compile time), its
// pointer type (with the module calling convention), its
// result kind and the host's answer when it is missing.
#pragma once

#include "ai_module_list.h"
#include "export_name.hpp"

#include <cstdint>

namespace vantrell {

// Result kinds, named as in the contract's list.
struct kind_VOID {};
struct kind_TRUTH {};
struct kind_BOOL8 {};
struct kind_VALUE {};
struct kind_TEXT {};

// Parameter kinds, named as in the contract's list.
struct param_INT32 {};
struct param_FLAG {};
struct param_TEXT {};
struct param_MOVE_OUT {};
struct param_MOVE_IN {};

// A list of parameter kinds (after a leading void, so that it may be empty).
template <class Void, class... Kinds> struct kinds {};

namespace fn {

// Each tag's index is its place in the list, which the companion's protocol
// sends for it; `param_kinds` lists its parameters' kinds.
enum Index : std::uint8_t {
#define VANTRELL_FUNCTION_INDEX(result, name, bytes, params, missing) index_##name,
    AI_MODULE_FUNCTIONS(VANTRELL_FUNCTION_INDEX)
#undef VANTRELL_FUNCTION_INDEX
};

#define VANTRELL_PARAM_KIND(kind, name) , param_##kind
#define VANTRELL_FUNCTION_TAG(result, name, bytes, params, missing)                                           \
    struct name {                                                                                             \
        static constexpr loader::ExportName export_name = loader::export_name(AI_EXPORT_NAME(name, bytes));   \
        using pointer = decltype(&::name);                                                                    \
        using kind = kind_##result;                                                                           \
        static constexpr int missing_answer = missing;                                                        \
        static constexpr std::uint8_t index = index_##name;                                                   \
        using param_kinds = kinds<void AI_PARAMS(bytes, params, , VANTRELL_PARAM_KIND, VANTRELL_PARAM_KIND)>; \
    };
AI_MODULE_FUNCTIONS(VANTRELL_FUNCTION_TAG)
#undef VANTRELL_FUNCTION_TAG
#undef VANTRELL_PARAM_KIND

} // namespace fn
} // namespace vantrell
