#include "FileKind.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string_view>

#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>

#include "Palette.hpp"
#include "Typography.hpp"

namespace orv::ui::FileKind {

namespace fs = std::filesystem;

namespace {

// Sorted, for a binary search.
constexpr std::array<std::string_view, 34> kRawExtensions = {
    "3fr", "ari", "arw", "bay", "cr2", "cr3", "crw", "dcr", "dcs", "dng", "drf", "eip", "erf", "fff", "gpr", "iiq", "k25",
    "kdc", "mdc", "mef", "mos", "mrw", "nef", "nrw", "orf", "pef", "raf", "raw", "rw2", "rwl", "sr2", "srf", "srw", "x3f"};
static_assert(std::is_sorted(kRawExtensions.begin(), kRawExtensions.end()));

bool isImageType(const QMimeType& type) {
    if (!type.isValid()) return false;
    if (type.name().startsWith(QLatin1String("image/"))) return true;
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.begin(), ancestors.end(),
                       [](const QString& name) { return name.startsWith(QLatin1String("image/")); });
}

QString nameOf(const fs::path& file) {
    std::string text = file.native();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return QFile::decodeName(QByteArray::fromStdString(fs::path(text).filename().native()));
}

FileCard cardFor(const QMimeType& type, const struct stat& st, const QString& name) {
    FileCard card;
    card.description = type.comment();
    card.iconName = type.iconName();
    card.genericIconName = type.genericIconName();
    card.folder = S_ISDIR(st.st_mode);
    if (S_ISREG(st.st_mode)) {
        card.size = static_cast<uint64_t>(st.st_size);
        const QString suffix = QFileInfo(name).suffix();
        if (!suffix.isEmpty() && suffix.size() <= 4) card.label = suffix.toUpper();
    }
    card.modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
    return card;
}

// What a file that is not a regular file is, without opening it.
const char* specialType(mode_t mode) {
    if (S_ISDIR(mode)) return "inode/directory";
    if (S_ISFIFO(mode)) return "inode/fifo";
    if (S_ISCHR(mode)) return "inode/chardevice";
    if (S_ISBLK(mode)) return "inode/blockdevice";
    if (S_ISSOCK(mode)) return "inode/socket";
    return "application/octet-stream";
}

QImage drawnIcon(const FileCard& card, int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal line = std::max<qreal>(1.5, side / 64.0);
    p.setPen(QPen(Palette::textTertiary(), line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (card.folder) {
        const QRectF body(side * 0.08, side * 0.26, side * 0.84, side * 0.6);
        QPainterPath tab;
        tab.addRoundedRect(QRectF(body.left(), body.top() - side * 0.08, side * 0.34, side * 0.16), side * 0.04,
                           side * 0.04);
        p.setBrush(Palette::panel());
        p.drawPath(tab);
        p.setBrush(Palette::borderSoft());
        p.drawRoundedRect(body, side * 0.05, side * 0.05);
        return image;
    }
    // A page with its top-right corner folded over.
    const qreal w = side * 0.72, h = side * 0.92, fold = side * 0.2;
    const qreal left = (side - w) / 2, top = (side - h) / 2;
    QPainterPath page;
    page.moveTo(left, top);
    page.lineTo(left + w - fold, top);
    page.lineTo(left + w, top + fold);
    page.lineTo(left + w, top + h);
    page.lineTo(left, top + h);
    page.closeSubpath();
    p.setBrush(Palette::borderSoft());
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(left + w - fold, top);
    corner.lineTo(left + w - fold, top + fold);
    corner.lineTo(left + w, top + fold);
    p.setBrush(Palette::panel());
    p.drawPath(corner);
    if (!card.label.isEmpty()) {
        p.setPen(Palette::accentStrong());
        p.setFont(Typography::system(side * 0.15, QFont::Bold));
        p.drawText(QRectF(left, top + h * 0.5, w, h * 0.35), Qt::AlignCenter | Qt::TextSingleLine, card.label);
    }
    return image;
}

}  // namespace

bool isRawExtension(const QString& extension) {
    const std::string lower = extension.toLower().toStdString();
    return std::binary_search(kRawExtensions.begin(), kRawExtensions.end(), lower);
}

std::optional<FileCard> cardOf(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::nullopt;
    const QString name = nameOf(file);
    const QMimeDatabase database;  // a handle on the process's one database, usable from any thread
    if (!S_ISREG(st.st_mode)) return cardFor(database.mimeTypeForName(QLatin1String(specialType(st.st_mode))), st, name);
    if (isRawExtension(QFileInfo(name).suffix())) return std::nullopt;

    const QMimeType byName = database.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    if (isImageType(byName)) return std::nullopt;
    // Content next, read from a descriptor of this very file: a name swapped
    // for a pipe since the stat must not block the load.
    QFile device;
    struct stat opened {};
    if (!Reader::openRegularFile(file, device, &opened)) return cardFor(byName, st, name);
    if (isImageType(database.mimeTypeForData(&device))) return std::nullopt;
    device.seek(0);
    return cardFor(database.mimeTypeForFileNameAndData(name, &device), opened, name);
}

Loader cardsForOtherFiles(Loader inner, std::function<QString()> note) {
    return [inner = std::move(inner), note = std::move(note)](const fs::path& file, const InspectionReport& report) {
        if (std::optional<FileCard> card = cardOf(file)) {
            if (note) card->note = note();
            return LoadResult{DecodedImage{}, std::move(*card)};
        }
        return inner(file, report);
    };
}

QImage iconOf(const FileCard& card, int side) {
    for (const QString& name : {card.iconName, card.genericIconName}) {
        if (name.isEmpty() || !QIcon::hasThemeIcon(name)) continue;
        const QImage image = QIcon::fromTheme(name).pixmap(QSize(side, side)).toImage();
        if (!image.isNull()) return image;
    }
    return drawnIcon(card, side);
}

}  // namespace orv::ui::FileKind
