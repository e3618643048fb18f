#include "Options.hpp"

#include <charconv>

#include <QCommandLineParser>
#include <QStringList>

namespace orv::ui::host {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxSide = 8192;

bool parseSize(const std::string& text, QSize& size) {
    const auto x = text.find('x');
    if (x == std::string::npos) return false;
    int w = 0, h = 0;
    const char* begin = text.data();
    const char* mid = begin + x;
    const char* end = begin + text.size();
    auto [p1, e1] = std::from_chars(begin, mid, w);
    auto [p2, e2] = std::from_chars(mid + 1, end, h);
    if (e1 != std::errc() || p1 != mid || e2 != std::errc() || p2 != end) return false;
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return false;
    size = QSize(w, h);
    return true;
}

fs::path absoluteOf(const fs::path& file) {
    std::error_code ec;
    fs::path absolute = fs::absolute(file, ec);
    return ec ? file : absolute;
}

}  // namespace

std::string usage() {
    return "usage: orvanta-preview [options] [--] FILE...\n"
           "       orvanta-preview --service [--dump]\n"
           "       orvanta-preview --register-previewer | --unregister-previewer\n"
           "\n"
           "Shows each photo with its metadata in a window: the picture with the\n"
           "camera's focus box on the left, the metadata panel on the right.\n"
           "With several files, Left and Right step through them; Space or Esc closes.\n"
           "Z (or a double-click) zooms to 100 % at the focus box and back; Shift and\n"
           "the arrows or a drag move the zoomed view; Esc leaves the zoom first.\n"
           "\n"
           "  --render OUT.png  no window: write a PNG of the preview (with several\n"
           "                    files, OUT-1.png, OUT-2.png, ... in order)\n"
           "  --size WxH        size of the rendered window (default 1180x760)\n"
           "  --dump            no window: print the preview's final state as JSON\n"
           "                    Lines, one block per file\n"
           "  --zoom            with --render or --dump: the view zoomed to 100 % at\n"
           "                    the focus box (Z in the window)\n"
           "  --service         be the desktop's previewer: show the files GNOME Files\n"
           "                    asks for (Space on a file) until 10 idle minutes pass\n"
           "  --register-previewer    make Space in GNOME Files open Orvanta preview\n"
           "                          (for this user; D-Bus starts --service on demand)\n"
           "  --unregister-previewer  undo --register-previewer\n"
           "  -h, --help        show this help\n"
           "  --version         show the version\n";
}

std::variant<Options, std::string> parseArguments(const std::vector<std::string>& args) {
    // Latin-1 maps each byte to one character and back, so a file name that
    // is not UTF-8 reaches the loader byte for byte; option names are ASCII.
    const auto toQt = [](const std::string& bytes) {
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    };
    const auto fromQt = [](const QString& text) { return text.toLatin1().toStdString(); };

    const QCommandLineOption help(QStringList{"h", "help"}), version("version"), dump("dump"), zoom("zoom"), service("service"),
        registerOption("register-previewer"), unregisterOption("unregister-previewer"),
        render("render", {}, "OUT.png"), size("size", {}, "WxH");
    QCommandLineParser parser;
    parser.addOptions({help, version, dump, zoom, service, registerOption, unregisterOption, render, size});
    QStringList qtArgs{QStringLiteral("orvanta-preview")};
    for (const std::string& a : args) qtArgs << toQt(a);
    if (!parser.parse(qtArgs)) return fromQt(parser.errorText());

    Options options;
    options.help = parser.isSet(help);
    options.version = parser.isSet(version);
    options.dump = parser.isSet(dump);
    options.zoom = parser.isSet(zoom);
    options.service = parser.isSet(service);
    options.registerPreviewer = parser.isSet(registerOption);
    options.unregisterPreviewer = parser.isSet(unregisterOption);
    for (const QString& file : parser.positionalArguments()) options.files.push_back(absoluteOf(fromQt(file)));
    if (parser.isSet(render)) {
        const std::string value = fromQt(parser.value(render));
        if (value.empty()) return std::string("--render needs a file name");
        options.renderTo = fs::path(value);
    }
    const bool sizeGiven = parser.isSet(size);
    if (sizeGiven && !parseSize(fromQt(parser.value(size)), options.size))
        return "--size needs WIDTHxHEIGHT in points, 1 to " + std::to_string(kMaxSide) + ", not \"" +
               fromQt(parser.value(size)) + "\"";
    if (options.help || options.version) return options;
    if (sizeGiven && !options.renderTo) return std::string("--size goes with --render");
    if (options.zoom && (options.service || !options.headless()))
        return std::string("--zoom goes with --render or --dump and FILE...");
    if (options.registerPreviewer || options.unregisterPreviewer) {
        const char* name = options.registerPreviewer ? "--register-previewer" : "--unregister-previewer";
        if (options.registerPreviewer && options.unregisterPreviewer)
            return std::string("--register-previewer and --unregister-previewer undo each other; give one");
        if (options.service || options.dump || options.renderTo || !options.files.empty())
            return std::string(name) + " goes alone";
        return options;
    }
    if (options.service) {
        if (options.renderTo) return std::string("--render does not go with --service");
        if (!options.files.empty()) return std::string("--service takes no FILE: the file manager names them");
        return options;
    }
    if (options.files.empty()) return std::string("no FILE given");
    return options;
}

}  // namespace orv::ui::host
