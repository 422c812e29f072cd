// Why a module most likely failed to load, judged from its file and the
// loader's words: the same first questions on every platform (is there a
// readable file, is it a library of this platform and processor), then
// what each loader's words can tell.
#include "module_diagnostics.hpp"
#include "module_file.hpp"

#include <filesystem>
#include <fstream>

namespace vantrell::diagnostics {

std::string likely_load_failure_cause(const std::string &path, const std::string &loader_error) {
    const auto file_path = std::filesystem::u8path(path);
    std::error_code error;
    if (std::filesystem::is_directory(file_path, error))
        return "the path names a directory, not a library";
    if (!std::ifstream(file_path, std::ios::binary))
        return "there is no readable file at this path";
    const std::optional<ModuleFile> file = read_module_file(path);
    const std::string here = this_process_machine();
#if defined(_WIN32)
    (void)loader_error;
    if (!file || file->format != ModuleFile::pe)
        return "the file is not a Windows library (no executable header)";
    if (file->machine != here) {
        if (file->machine == "32-bit x86" || file->machine == "x64")
            return "the module is a " + std::to_string(file->bits) + "-bit DLL, but this process is " +
                   std::to_string(this_process_bits()) + "-bit: rebuild it for " + here;
        return "the module is built for " + file->machine + ", not " + here;
    }
    if (!file->library)
        return "the file is a program, not a DLL";
    return "a DLL the module depends on is missing, or the module's entry point refused to load";
#else
    // dlopen searches the library path, never the working directory, for a
    // name without a slash; the bridge loads the host's path the same way.
    if (path.find('/') == std::string::npos && loader_error.compare(0, path.size(), path) == 0 &&
        loader_error.find("cannot open shared object file") != std::string::npos)
        return "a name without a slash is searched in the library path, not the working directory, where this "
               "file is: give ./" +
               path;
    if (!file || file->format != ModuleFile::elf)
        return "the file is not a shared library of this platform (no ELF header)";
    if (file->machine != here || file->bits != this_process_bits())
        return "the module is built for " + file->machine + ", but this process is " + here + ": rebuild it for " +
               here;
    if (loader_error.find("cannot open shared object file") != std::string::npos &&
        loader_error.compare(0, path.size(), path) != 0)
        return "a library the module depends on is missing: " + loader_error.substr(0, loader_error.find(':'));
    if (loader_error.find("undefined symbol") != std::string::npos)
        return "the module needs a symbol that no library loaded with it provides";
    return "the loader refused the module for the reason it gives";
#endif
}

} // namespace vantrell::diagnostics
