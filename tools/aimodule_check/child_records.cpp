#include "child_records.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace vantrell::check {
namespace {

std::string escaped(const std::string &field) {
    std::string text;
    for (char c : field)
        text += c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\\' ? "\\\\" : std::string(1, c);
    return text;
}

std::string unescaped(const std::string &field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            text += field[i];
            continue;
        }
        const char c = field[++i];
        text += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return text;
}

} // namespace

std::string record_line(const std::vector<std::string> &fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i)
        line += (i ? "\t" : "") + escaped(fields[i]);
    return line;
}

std::vector<std::string> fields_of(const std::string &line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');)
        fields.push_back(unescaped(field));
    return fields;
}

std::vector<std::string> record_lines(const std::filesystem::path &records) {
    std::size_t read = 0;
    const std::string text = read_on(records, read, most_record_bytes);
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::filesystem::path standard_error_file(const std::filesystem::path &records) {
    return std::filesystem::path(records).concat(".err");
}

std::string read_on(const std::filesystem::path &path, std::size_t &offset, std::size_t most) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    if (size <= static_cast<std::streamoff>(offset))
        return "";
    std::string text(std::min<std::size_t>(most, static_cast<std::size_t>(size) - offset), '\0');
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    offset += text.size();
    return text;
}

} // namespace vantrell::check
