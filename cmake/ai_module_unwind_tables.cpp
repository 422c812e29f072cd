// Added by add_ai_module to every C++ module it builds for 32-bit Windows
// with GCC's runtime linked in: the module's exceptions are found by its own
// unwinder, whatever else the process has loaded.
//
// Why: on 32-bit MinGW, GCC unwinds with DWARF tables that each DLL
// registers at start-up. A DLL's start-up code hands them to GCC's shared
// unwinder, libgcc_s_dw2-1.dll, whenever that DLL is already in the process
// (the bridge brings it, as does any module built with the shared runtime),
// even when the DLL carries an unwinder of its own, which then searches its
// own empty registry at every throw and ends the process, even for an
// exception the module would catch itself. Here the tables are registered
// with the module's own unwinder too, once, when it cannot find them.
#if defined(_WIN32) && !defined(_WIN64) && defined(__GNUC__) && !defined(__USING_SJLJ_EXCEPTIONS__)

#include <windows.h>

#include <cstdint>

extern "C" {
// This module's own unwinder (GCC's runtime, linked in).
void __register_frame_info(const void *begin, void *object);
struct ai_module_eh_bases {
    void *text;
    void *data;
    void *function;
};
const void *_Unwind_Find_FDE(void *pc, ai_module_eh_bases *bases);

// An empty label in the unwind tables' section: the linker gathers every
// object's piece of that section into one section of the image, whose
// start is where the tables begin.
extern const char ai_module_eh_frame_label[] __asm__("ai_module_eh_frame_label");
__asm__(".section .eh_frame,\"dr\"\n"
        "ai_module_eh_frame_label:\n"
        ".text\n");

// What tells aimodule-check, from the file alone, that the module's
// exceptions do not depend on what else the process holds.
__attribute__((used)) const char ai_module_unwind_tables_mark[] =
    "ai_module: registers its unwind tables with its own unwinder";
}

namespace {

// The start of the section of this module's image that holds the label.
const void *unwind_tables_begin() {
    HMODULE image = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(ai_module_eh_frame_label), &image))
        return nullptr;
    auto *base = reinterpret_cast<const char *>(image);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
    const auto offset = static_cast<std::uintptr_t>(ai_module_eh_frame_label - base);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        const DWORD size = section->Misc.VirtualSize > section->SizeOfRawData ? section->Misc.VirtualSize
                                                                                : section->SizeOfRawData;
        if (offset >= section->VirtualAddress && offset < section->VirtualAddress + size)
            return base + section->VirtualAddress;
    }
    return nullptr;
}

// GCC's registry keeps a few words per registration here (its struct
// object): room for more than any version has used.
void *own_registration[16];

// After the start-up code's registration, before any constructor of the
// module's own: those may throw.
__attribute__((constructor(101))) void register_with_own_unwinder() {
    ai_module_eh_bases bases{};
    if (_Unwind_Find_FDE(reinterpret_cast<void *>(&register_with_own_unwinder), &bases))
        return; // the start-up code registered them here
    if (const void *begin = unwind_tables_begin())
        __register_frame_info(begin, own_registration);
}

} // namespace

#endif
