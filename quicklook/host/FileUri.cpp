#include "FileUri.hpp"

#include <QByteArray>

namespace orv::ui::host {

namespace fs = std::filesystem;

namespace {

bool isSchemeChar(char c, bool first) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (first) return letter;
    return letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent escapes become the bytes they stand for; a stray '%' stays.
std::string decodePercent(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                bytes.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        bytes.push_back(text[i]);
    }
    return bytes;
}

QString elsewhere(const QString& scheme) {
    if (scheme == QLatin1String("trash"))
        return QStringLiteral("Files in the Trash can't be previewed. Restore the file to its folder first.");
    if (scheme == QLatin1String("recent"))
        return QStringLiteral("Recent files are shown from elsewhere. Open the folder the file is in and "
                              "press Space there to preview it.");
    return QStringLiteral("This file is not on this computer (%1://). Copy it to a local folder to preview it.")
        .arg(scheme);
}

}  // namespace

UriTarget resolveUri(const QString& uri) {
    const QByteArray utf8 = uri.toUtf8();
    const std::string_view text(utf8.constData(), static_cast<size_t>(utf8.size()));
    if (text.starts_with('/')) return LocalFile{fs::path(std::string(text))};

    size_t colon = 0;
    while (colon < text.size() && isSchemeChar(text[colon], colon == 0)) ++colon;
    if (colon == 0 || colon >= text.size() || text[colon] != ':')
        return UnreachableFile{fs::path(std::string(text)),
                               QStringLiteral("The file manager sent an address that doesn't name a file.")};
    const QString scheme = QString::fromLatin1(text.substr(0, colon)).toLower();

    std::string_view rest = text.substr(colon + 1);
    std::string_view host;
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        host = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    // A query or fragment is no part of a file's name (the name's own '?'
    // and '#' arrive escaped).
    rest = rest.substr(0, rest.find_first_of("?#"));
    const std::string path = decodePercent(rest);

    if (scheme == QLatin1String("file")) {
        if (host.empty() || host == "localhost") {
            return LocalFile{path.empty() ? fs::path("/") : fs::path(path)};
        }
        const QString hostName = QString::fromUtf8(host.data(), static_cast<qsizetype>(host.size()));
        return UnreachableFile{fs::path(path),
                               QStringLiteral("This file is on another computer (%1). Copy it to a local folder "
                                              "to preview it.")
                                   .arg(hostName)};
    }
    // A location without a name of its own (a share's root, "recent:///")
    // is titled with the whole address.
    fs::path name(path);
    std::string trimmed = path;
    while (!trimmed.empty() && trimmed.back() == '/') trimmed.pop_back();
    if (trimmed.empty()) name = fs::path(std::string(text));
    return UnreachableFile{name, elsewhere(scheme)};
}

}  // namespace orv::ui::host
