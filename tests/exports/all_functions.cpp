// A C++ module defining every function of the contract, generated from the
// header's list, so its exports show whether all 36 names come out right.
#include "ai_module_list.h"

// An inline static member of a class with default visibility: exported, GCC
// would make it an STB_GNU_UNIQUE symbol, and the loader then keeps the
// module mapped after dlclose. The module build must prevent both.
struct __attribute__((visibility("default"))) Calls {
    static inline int32_t count = 0;
};

#define BODY_VOID \
    { ++Calls::count; }
#define BODY_TRUTH \
    { return ++Calls::count; }
#define BODY_BOOL8 \
    { return static_cast<ai_bool8>(++Calls::count); }
#define BODY_VALUE \
    { return ++Calls::count; }
#define BODY_TEXT               \
    {                           \
        ++Calls::count;         \
        return "all functions"; \
    }

#define DEFINE_FUNCTION(result, name, bytes, params, missing) \
    AI_RESULT_##result AI_CALL name(AI_DECL_PARAMS(bytes, params)) BODY_##result

AI_MODULE_FUNCTIONS(DEFINE_FUNCTION)
