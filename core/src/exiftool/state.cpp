#include "exiftool/state.hpp"

#include "once_cell.hpp"

namespace orv::process {
namespace {

OnceCell<std::string> g_script;
OnceCell<Runner> g_runner;
OnceCell<ExifToolMode> g_mode;
OnceCell<std::optional<LookConfig>> g_look_config;
OnceCell<std::optional<perl::Library>> g_perl_library;

}  // namespace

const std::string* exiftool_script() {
    return g_script.get();
}

const Runner* exiftool_runner() {
    return g_runner.get();
}

const ExifToolMode* exiftool_mode() {
    return g_mode.get();
}

void choose_exiftool(const std::string& script, ExifToolMode mode, Runner runner) {
    g_script.set(script);
    g_mode.set(mode);
    g_runner.set(runner);
}

const std::optional<LookConfig>& look_config() {
    return g_look_config.get_or_init(make_look_config);
}

const std::optional<perl::Library>& perl_library() {
    return g_perl_library.get_or_init(perl::load_library);
}

namespace testing {

void set_exiftool_script(const std::string& script) {
    g_script.set(script);
}

void set_exiftool_runner(Runner runner) {
    g_runner.set(runner);
}

}  // namespace testing
}  // namespace orv::process
