#include "exiftool/argfile.hpp"

#include <charconv>

namespace orv {
namespace {

bool is_perl_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Whether ExifTool would read a plain line differently from the argument:
// it drops leading white space and trailing line ends, skips empty lines and
// "#" comments, and tidies the spaces around "=" in "-TAG = value".
bool needs_escaping(std::string_view arg) {
    if (arg.empty() || is_perl_space(arg.front()) || arg.front() == '#') return true;
    if (arg.find_first_of("\n\r") != std::string_view::npos) return true;
    return arg.front() == '-' && arg.find('=') != std::string_view::npos;
}

// Options that mean something else read from a stay-open argument file: a
// "-execute" ends the command there, "-stay_open" and "-@" change where the
// next commands come from, "-common_args" outlives the command.
bool changes_the_stream(std::string_view arg) {
    std::string lower(arg);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (lower == "-stay_open" || lower == "-@" || lower == "-common_args") return true;
    if (!lower.starts_with("-execute")) return false;
    return lower.find_first_not_of("0123456789", 8) == std::string::npos;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Where the status line starts in err once it is complete, or npos.
size_t status_line(const std::string& err, const std::string& prefix) {
    if (!ends_with(err, "}\n")) return std::string::npos;
    const size_t at = err.rfind(prefix);
    if (at == std::string::npos || err.find('\n', at) != err.size() - 1) return std::string::npos;
    return at;
}

}  // namespace

std::optional<std::string> argfile_line(std::string_view arg) {
    if (arg.find('\0') != std::string_view::npos) return std::nullopt;
    if (!needs_escaping(arg)) return std::string(arg) + '\n';
    if (arg.find_first_of("$@") != std::string_view::npos) return std::nullopt;
    std::string line = "#[CSTR]";
    for (const char c : arg) {
        switch (c) {
            case '\\': line += "\\\\"; break;
            case '\n': line += "\\n"; break;
            case '\r': line += "\\r"; break;
            default: line += c; break;
        }
    }
    line += '\n';
    return line;
}

std::string ready_marker(uint64_t id) {
    return "{ready" + std::to_string(id) + "}\n";
}

std::string status_marker_prefix(uint64_t id) {
    return "{orvql-status " + std::to_string(id) + " ";
}

std::optional<std::string> argfile_command(const std::vector<std::string>& args, uint64_t id) {
    std::string command;
    for (const auto& arg : args) {
        if (changes_the_stream(arg)) return std::nullopt;
        auto line = argfile_line(arg);
        if (!line) return std::nullopt;
        command += *line;
    }
    command += "-echo4\n" + status_marker_prefix(id) + "${status}}\n";
    command += "-execute" + std::to_string(id) + "\n";
    return command;
}

bool answer_complete(const std::string& out, const std::string& err, uint64_t id) {
    return ends_with(out, ready_marker(id)) && status_line(err, status_marker_prefix(id)) != std::string::npos;
}

std::optional<RunOutput> read_answer(std::string out, std::string err, uint64_t id) {
    const std::string ready = ready_marker(id);
    const std::string prefix = status_marker_prefix(id);
    const size_t at = status_line(err, prefix);
    if (!ends_with(out, ready) || at == std::string::npos) return std::nullopt;
    const char* first = err.data() + at + prefix.size();
    const char* last = err.data() + err.size() - 2;  // before "}\n"
    int code = -1;
    const auto [stop, ec] = std::from_chars(first, last, code);
    if (ec != std::errc() || stop != last || code < 0 || code > 255) return std::nullopt;
    out.resize(out.size() - ready.size());
    err.resize(at);
    return RunOutput{code << 8, std::move(out), std::move(err)};
}

}  // namespace orv
