// The desktop's previewer as the service's child, against a stand-in that
// records its calls: which files it takes, calls passed on unchanged, Visible
// and SelectionEvent relayed, a killed child started again, never two windows
// up, nothing left behind, and the card when it cannot start.
#include <signal.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QScopeGuard>
#include <QSignalSpy>

#include "DesktopPreviewer.hpp"
#include "Service.hpp"
#include "TestSupport.hpp"

using namespace orv::ui::host;

namespace {

constexpr int kPatience = 60000;
const QString kHandle = QStringLiteral("x11:1e00007");

QString uriOf(const QString& path) { return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded); }

// A process that is gone, or only waits to be reaped by whoever took it over.
bool gone(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
}

DesktopPreviewer::Command standIn() {
    // Debian's Python, which has the D-Bus and GLib modules.
    return {QStringLiteral("/usr/bin/python3"), {QStringLiteral(STAND_IN_PREVIEWER)}};
}

// Has the stand-in on `address` act as its user would: "Select" or "Dismiss".
void actAsUser(const QString& address, const char* action, const QVariantList& args = {}) {
    QDBusConnection control = QDBusConnection::connectToBus(address, "control");
    QDBusMessage call = QDBusMessage::createMethodCall("org.gnome.NautilusPreviewer", "/org/gnome/NautilusPreviewer",
                                                       "org.orvanta.StandIn", action);
    call.setArguments(args);
    control.call(call);
    QDBusConnection::disconnectFromBus("control");
}

void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text);
}

// --hold FILE: a service of its own that hands FILE over, prints the
// child's and the bus's process ids once it is shown, and waits to be killed.
int hold(int argc, char** argv) {
    QApplication app(argc, argv);
    DesktopPreviewer previewer(standIn());
    previewer.showFile(uriOf(QString::fromLocal8Bit(argv[2])), kHandle, false);
    if (!QTest::qWaitFor([&] { return previewer.childPid() != 0; }, kPatience)) return 1;
    std::printf("%lld %lld\n", previewer.childPid(), previewer.busPid());
    std::fflush(stdout);
    return QApplication::exec();
}

}  // namespace

class DesktopPreviewerTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString text, photo, log;

    QStringList calls() {
        QFile in(log);
        if (!in.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(in.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    // Waits until the stand-in has recorded `line`.
    bool heard(const QString& line) {
        return QTest::qWaitFor([&] { return calls().contains(line); }, kPatience);
    }

private slots:
    void initTestCase() {
        text = dir.filePath("notes.txt");
        photo = dir.filePath("photo.png");
        writeFile(text, "plain words\n");
        QVERIFY(QImage(4, 4, QImage::Format_RGB32).save(photo));
        writeFile(dir.filePath("shot.cr2"), "");
        qputenv("AT_SPI_BUS_ADDRESS", "unix:path=/run/user/0/at-spi/bus_test");
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
    }

    // Each test's stand-ins record into a file of its own.
    void init() {
        log = dir.filePath(QStringLiteral("%1.log").arg(QTest::currentTestFunction()));
        qputenv("STAND_IN_LOG", QFile::encodeName(log));
    }

    void findsTheSystemsPreviewerNotOurs_data() {
        QTest::addColumn<QStringList>("dirs");  // XDG_DATA_DIRS, under the test's folder
        QTest::addColumn<QString>("expected");  // the program found, "" for none
        QTest::newRow("system's") << QStringList{"sys"} << "/usr/libexec/previewer";
        QTest::newRow("ours first, system's after") << QStringList{"ours", "sys"} << "/usr/libexec/previewer";
        QTest::newRow("only ours") << QStringList{"ours"} << "";
        QTest::newRow("the user's own folder is never a system's") << QStringList{"home"} << "";
        QTest::newRow("none installed") << QStringList{"empty"} << "";
        QTest::newRow("no display to show it on") << QStringList{"sys"} << "";
    }
    void findsTheSystemsPreviewerNotOurs() {
        QFETCH(QStringList, dirs);
        QFETCH(QString, expected);
        const QString file = "/dbus-1/services/org.gnome.NautilusPreviewer.service";
        QByteArray sys = "[D-BUS Service]\nName=org.gnome.NautilusPreviewer\nExec=/usr/libexec/previewer\n";
        writeFile(dir.filePath("data/sys") + file, sys);
        writeFile(dir.filePath("data/home") + file, sys);
        writeFile(dir.filePath("data/ours") + file,
                  "# Written by orvanta-preview --register-previewer.\n" + QByteArray(sys).replace("/usr/libexec/previewer", "/x"));
        QDir().mkpath(dir.filePath("data/empty"));
        QStringList paths;
        for (const QString& d : dirs) paths << dir.filePath("data/" + d);
        const QByteArray home = qgetenv("XDG_DATA_HOME"), system = qgetenv("XDG_DATA_DIRS");
        const auto restore = qScopeGuard([&] {  // the MIME database is found through them
            qputenv("XDG_DATA_HOME", home);
            qputenv("XDG_DATA_DIRS", system);
            qunsetenv("DISPLAY");
        });
        if (!QByteArray(QTest::currentDataTag()).startsWith("no display")) qputenv("DISPLAY", ":99");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data/home")));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(paths.join(':')));
        const auto found = DesktopPreviewer::installed();
        QCOMPARE(found ? found->program : QString(), expected);
    }

    void takesWhatGetsACardToday_data() {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<bool>("taken");
        QTest::newRow("text") << uriOf(dir.filePath("notes.txt")) << true;
        QTest::newRow("folder") << uriOf(dir.path()) << true;
        QTest::newRow("photo") << uriOf(dir.filePath("photo.png")) << false;
        QTest::newRow("camera RAW") << uriOf(dir.filePath("shot.cr2")) << false;
        QTest::newRow("missing file") << uriOf(dir.filePath("gone.txt")) << false;
        QTest::newRow("another computer") << "sftp://host/notes.txt" << false;
    }
    void takesWhatGetsACardToday() {
        QFETCH(QString, uri);
        QFETCH(bool, taken);
        QCOMPARE(DesktopPreviewer(standIn()).takes(uri), taken);
        QVERIFY(!DesktopPreviewer(std::nullopt).takes(uri));
    }

    // One session: handed over, relayed, killed and back, closed, ended.
    void handsOverRelaysAndRestarts() {
        auto previewer = std::make_unique<DesktopPreviewer>(standIn());
        QSignalSpy visible(previewer.get(), &DesktopPreviewer::visibleChanged);
        QSignalSpy moves(previewer.get(), &DesktopPreviewer::selectionEvent);
        QVERIFY(!previewer->childPid());  // started on first need only

        previewer->showFile(uriOf(text), kHandle, false);
        QVERIFY(previewer->isVisible());  // at once: the file manager must not see a gap
        QVERIFY(heard("ShowFile " + uriOf(text) + " " + kHandle + " false"));
        const QString started = calls().first();
        // On the private bus, with the session's accessibility bus.
        QVERIFY2(started.endsWith(previewer->busAddress() + " unix:path=/run/user/0/at-spi/bus_test"), qPrintable(started));
        // A bus that starts nothing: the session's services (a portal, a
        // keyring) started there kept the real previewer's first document
        // waiting 25 s.
        QCOMPARE(calls().value(1), QStringLiteral("activatable org.freedesktop.DBus"));
        // Its configuration is read and gone: a killed service leaves no file.
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(previewer->busPid()));
        QVERIFY(cmdline.open(QIODevice::ReadOnly));
        QByteArray config;
        for (const QByteArray& word : cmdline.readAll().split('\0'))
            if (word.startsWith("--config-file=")) config = word.mid(int(sizeof "--config-file=" - 1));
        QVERIFY(!config.isEmpty() && !QFile::exists(QString::fromLocal8Bit(config)));
        QCOMPARE(visible.count(), 1);  // asked, then shown: one change

        actAsUser(previewer->busAddress(), "Select", {5u});
        QTRY_COMPARE_WITH_TIMEOUT(moves.count(), 1, kPatience);
        QCOMPARE(moves.first().first().toUInt(), 5u);
        actAsUser(previewer->busAddress(), "Dismiss");
        QTRY_VERIFY_WITH_TIMEOUT(!previewer->isVisible(), kPatience);  // its window closed by the user

        previewer->showFile(uriOf(text), kHandle, true);
        QTRY_VERIFY_WITH_TIMEOUT(calls().count("ShowFile " + uriOf(text) + " " + kHandle + " true") == 1, kPatience);
        const qint64 first = previewer->childPid();
        ::kill(static_cast<pid_t>(first), SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(!previewer->isVisible(), kPatience);
        const QString other = dir.filePath("more.txt");
        writeFile(other, "more\n");
        previewer->showFile(uriOf(other), QString(), false);
        QVERIFY(heard("ShowFile " + uriOf(other) + "  false"));
        QVERIFY(previewer->childPid() && previewer->childPid() != first);

        previewer->close();
        QVERIFY(heard("Close"));
        QTRY_VERIFY_WITH_TIMEOUT(!previewer->isVisible(), kPatience);
        previewer->close();  // nothing shown: nothing sent
        const qint64 child = previewer->childPid(), bus = previewer->busPid();
        previewer.reset();
        QVERIFY(gone(child));
        QVERIFY(gone(bus));
        QCOMPARE(calls().count("Close"), 1);
    }

    // The file manager's side: one previewer, two windows, never both up.
    void oneWindowAtATime() {
        namespace test = orv::test;
        const test::ScriptedLoader script{test::envelope(test::minimalFile()), QImage(40, 30, QImage::Format_RGB32)};
        PreviewService service(script.loader(), PreviewService::kIdleExit, standIn());
        QSignalSpy visible(&service, &PreviewService::visibleChanged);
        QSignalSpy moves(&service, &PreviewService::selectionEvent);
        const QWidget* ours = service.widget();
        const auto shown = [&](const QString& file, bool closeIfShown) {
            return "ShowFile " + uriOf(file) + " " + kHandle + (closeIfShown ? " true" : " false");
        };

        service.showFile(uriOf(photo), kHandle, false);
        QVERIFY(ours->isVisible());
        service.showFile(uriOf(text), kHandle, false);
        QVERIFY(heard(shown(text, false)));
        QVERIFY(!ours->isVisible());
        service.showFile(uriOf(photo), kHandle, false);
        QVERIFY(ours->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(calls().count("Close"), 1, kPatience);
        QVERIFY(!calls().contains(shown(photo, false)));
        QCOMPARE(visible.count(), 1);  // up all along: the file manager saw no gap
        // Its window's going reaches us over the bus: wait for it before the
        // next key, as a user's next key comes long after it.
        QTRY_VERIFY_WITH_TIMEOUT(!service.desktopPreviewer().isVisible(), kPatience);

        service.showFile(uriOf(photo), kHandle, true);  // Space on ours
        QVERIFY(!ours->isVisible());
        // The desktop previewer's own Visible false may still be on its way.
        QTRY_VERIFY_WITH_TIMEOUT(!service.isVisible(), kPatience);
        service.showFile(uriOf(text), kHandle, true);  // Space on a text: shown, then closed
        QVERIFY(heard(shown(text, true)));
        QVERIFY(service.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(service.desktopPreviewer().isVisible(), kPatience);
        service.showFile(uriOf(text), kHandle, true);
        QTRY_COMPARE_WITH_TIMEOUT(calls().count("Close"), 2, kPatience);
        QTRY_VERIFY_WITH_TIMEOUT(!service.isVisible(), kPatience);
        QList<bool> told;
        for (const auto& change : visible) told << change.first().toBool();
        // Up, down, up, down; on a loaded machine the desktop previewer's own
        // changes may add a pair, but never two alike in a row.
        QVERIFY2(told.size() >= 4 && told.size() % 2 == 0 && told.first() && !told.last(), qPrintable(QString::number(told.size())));
        for (qsizetype i = 1; i < told.size(); ++i) QVERIFY(told[i] != told[i - 1]);

        service.showFile(uriOf(text), kHandle, false);
        actAsUser(service.desktopPreviewer().busAddress(), "Select", {3u});
        QTRY_COMPARE_WITH_TIMEOUT(moves.count(), 1, kPatience);
        QCOMPARE(moves.first().first().toUInt(), 3u);
    }

    void nothingOutlivesAKilledService() {
        QProcess service;
        service.start(QCoreApplication::applicationFilePath(), {"--hold", text});
        QVERIFY(service.waitForReadyRead(kPatience));
        const QStringList pids = QString::fromUtf8(service.readLine()).split(' ');
        QCOMPARE(pids.size(), 2);
        service.kill();
        service.waitForFinished();
        for (const QString& pid : pids) QTRY_VERIFY_WITH_TIMEOUT(gone(pid.toLongLong()), kPatience);
    }

    void cardWhenItCannotStart_data() {
        QTest::addColumn<bool>("installed");
        QTest::newRow("not installed") << false;
        QTest::newRow("cannot start") << true;
    }
    void cardWhenItCannotStart() {
        QFETCH(bool, installed);
        DesktopPreviewer previewer(installed ? std::optional(DesktopPreviewer::Command{"false", {}}) : std::nullopt);
        QSignalSpy unavailable(&previewer, &DesktopPreviewer::unavailable);
        previewer.showFile(uriOf(text), kHandle, true);
        QTRY_COMPARE_WITH_TIMEOUT(unavailable.count(), 1, kPatience);
        QCOMPARE(unavailable.first(), (QVariantList{uriOf(text), kHandle, true}));
        QVERIFY(!previewer.isVisible());
        QVERIFY(!previewer.takes(uriOf(text)));  // from now on the file card
    }
};

int main(int argc, char** argv) {
    orv::test::isolateEnvironment();
    if (argc == 3 && qstrcmp(argv[1], "--hold") == 0) return hold(argc, argv);
    QApplication app(argc, argv);
    DesktopPreviewerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "desktop_previewer_test.moc"
