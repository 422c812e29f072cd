// What a child process of this program (the smoke session's) writes for its
// parent: records of one line each, fields split by tabs, in a file the
// parent reads while the child runs, so that what was written before a
// crash or a hang survives it. Tabs, newlines and backslashes in a field
// are escaped.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vantrell::check {

// One record, without its newline.
std::string record_line(const std::vector<std::string> &fields);

// The fields of a record line.
std::vector<std::string> fields_of(const std::string &line);

// The complete lines of the records file so far, within its first
// `most_record_bytes`: the child runs the module, which can write anything
// into it, as much as it likes.
constexpr std::size_t most_record_bytes = 16u << 20;
std::vector<std::string> record_lines(const std::filesystem::path &records);

// Where the child writes its standard error, beside its records: the
// parent passes it on as it comes and reads what a runtime said on its way
// out.
std::filesystem::path standard_error_file(const std::filesystem::path &records);

// What the file at `path` holds from `offset` on, at most `most` bytes;
// `offset` moves past it.
std::string read_on(const std::filesystem::path &path, std::size_t &offset, std::size_t most = 1u << 20);

} // namespace vantrell::check
