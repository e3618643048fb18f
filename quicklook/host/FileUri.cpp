#include "FileUri.hpp"

#include <QByteArray>
#include <QUrl>

namespace orv::ui::host {

namespace fs = std::filesystem;

namespace {

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
    const auto bytesOf = [](const QString& text) { return text.toUtf8().toStdString(); };
    if (uri.startsWith(QLatin1Char('/'))) return LocalFile{fs::path(bytesOf(uri))};

    // Tolerant parsing keeps a stray '%' as itself; a query or fragment is no
    // part of a file's name (the name's own '?' and '#' arrive escaped).
    const QUrl url(uri, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return UnreachableFile{fs::path(bytesOf(uri)),
                               QStringLiteral("The file manager sent an address that doesn't name a file.")};
    // Escapes are decoded to bytes, not text, so names in any encoding come through.
    const std::string path =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
    const QString scheme = url.scheme();
    const QString host = url.host();

    if (scheme == QLatin1String("file")) {
        if (host.isEmpty() || host == QLatin1String("localhost")) {
            return LocalFile{path.empty() ? fs::path("/") : fs::path(path)};
        }
        return UnreachableFile{fs::path(path),
                               QStringLiteral("This file is on another computer (%1). Copy it to a local folder "
                                              "to preview it.")
                                   .arg(host)};
    }
    // A location without a name of its own (a share's root, "recent:///")
    // is titled with the whole address.
    fs::path name(path);
    if (path.find_first_not_of('/') == std::string::npos) name = fs::path(bytesOf(uri));
    return UnreachableFile{name, elsewhere(scheme)};
}

}  // namespace orv::ui::host
