#include "module_report.hpp"

#include "module_diagnostics.hpp"

#include <cstdint>

namespace aimodule_check {
namespace {

// UTF-8 to UTF-16 for the loader layer, which takes the host's units.
std::u16string utf16(const std::string &utf8) {
    std::u16string units;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t cp = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (int k = 1; k < length && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (cp >> 10));
            units += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            units += static_cast<char16_t>(cp);
        }
    }
    return units;
}

} // namespace

int Report::count(FunctionReport::Status status) const {
    int n = 0;
    for (const auto &function : functions)
        n += function.status == status;
    return n;
}

int Report::exit_status() const { return loaded && count(FunctionReport::near_miss) == 0 ? 0 : 1; }

const char *status_word(FunctionReport::Status status) {
    switch (status) {
    case FunctionReport::exact: return "exact";
    case FunctionReport::missing: return "missing";
    default: return "near miss";
    }
}

Report inspect(const std::string &path, vantrell::platform::ModuleHandle &module) {
    Report report;
    report.path = path;
    std::u16string units = utf16(path);
    module = vantrell::platform::load_module(reinterpret_cast<const std::uint16_t *>(units.data()), units.size());
    if (!module) {
        report.load_error = vantrell::platform::last_error();
        report.likely_cause = vantrell::platform::likely_load_failure_cause(path, report.load_error);
        return report;
    }
    report.loaded = true;
    const std::vector<std::string> exported = vantrell::platform::export_names(module);
    for (const ContractFunction &function : contract_functions) {
        FunctionReport entry{&function, FunctionReport::missing, {}};
        if (vantrell::platform::find_export(module, function.export_name))
            entry.status = FunctionReport::exact;
        for (const std::string &name : exported)
            if (auto miss = near_miss(name, function))
                entry.near_misses.push_back({name, *miss});
        if (entry.status == FunctionReport::missing && !entry.near_misses.empty())
            entry.status = FunctionReport::near_miss;
        report.functions.push_back(std::move(entry));
    }
    return report;
}

} // namespace aimodule_check
