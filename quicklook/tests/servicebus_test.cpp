// The previewer service on a session bus of the test's own: ShowFile shows
// what --dump shows, Visible and its change signal, Space and Close on both
// interfaces, SelectionEvent, and D-Bus activation after --register-previewer.
// (A huge text is cut before it is laid out: panel_test.)
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QProcess>
#include <QSignalSpy>

#include "Service.hpp"
#include "ServiceBus.hpp"
#include "TestSupport.hpp"

using namespace orv;
using namespace orv::ui;
using namespace orv::ui::host;

namespace {

// Generous limits for a loaded machine; no test asserts how long anything took.
constexpr int kPatience = 60000;

// A dbus-daemon of the test's own, whose service folders include
// `dataHome`/dbus-1/services; nothing here reaches the user's session bus.
class PrivateBus {
public:
    PrivateBus(const QString& dataHome, const QString& connectionName) : name_(connectionName) {
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("XDG_DATA_HOME", dataHome);
        daemon_.setProcessEnvironment(env_);
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(kPatience)) continue;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        env_.insert("DBUS_SESSION_BUS_ADDRESS", address_);
        bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, name_));
    }
    ~PrivateBus() {
        bus_.reset();
        QDBusConnection::disconnectFromBus(name_);
        daemon_.terminate();
        daemon_.waitForFinished();
    }
    bool isConnected() const { return !address_.isEmpty() && bus_->isConnected(); }
    QDBusConnection& bus() { return *bus_; }
    const QString& address() const { return address_; }
    const QProcessEnvironment& environment() const { return env_; }  // for programs run on this bus

    // Waits until someone owns the previewer's name; false if nobody does.
    bool waitForPreviewer() {
        QDBusServiceWatcher watcher(kPreviewerName, *bus_, QDBusServiceWatcher::WatchForRegistration);
        QSignalSpy registered(&watcher, &QDBusServiceWatcher::serviceRegistered);
        return bus_->interface()->isServiceRegistered(kPreviewerName) || registered.wait(kPatience);
    }

private:
    QString name_, address_;
    QProcess daemon_;
    QProcessEnvironment env_;
    std::unique_ptr<QDBusConnection> bus_;
};

QDBusMessage call(QDBusConnection& bus, const char* interface, const char* method, const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(kPreviewerName, kPreviewerPath, interface, method);
    message.setArguments(args);
    return bus.call(message, QDBus::Block, kPatience);
}

bool isVisible(QDBusConnection& bus) {
    const QDBusMessage reply = call(bus, "org.freedesktop.DBus.Properties", "Get", {kPreviewerInterface, "Visible"});
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

QString fileUri(const QString& path) { return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded); }

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

// What arrives from the bus: Visible's changes and the selection moves.
class Listener : public QObject {
    Q_OBJECT
public:
    QList<bool> visible;
    QList<uint> moves;

    // Runs the event loop until `list` has `count` entries (or nothing more comes).
    template <typename T>
    bool waitFor(const QList<T>& list, qsizetype count) {
        while (list.size() < count) {
            QSignalSpy heard(this, &Listener::heard);
            if (!heard.wait(kPatience)) return false;
        }
        return true;
    }

public slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
        if (interface == kPreviewerInterface && changed.contains("Visible")) visible << changed["Visible"].toBool();
        emit heard();
    }
    void selectionEvent(uint direction) {
        moves << direction;
        emit heard();
    }

signals:
    void heard();
};

class ServiceBusTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<PrivateBus> bus;
    QProcess service;  // orvanta-preview --service --dump
    QByteArray output;

    // The next `count` lines the service prints.
    QStringList nextLines(qsizetype count) {
        QStringList lines;
        while (lines.size() < count) {
            output += service.readAllStandardOutput();  // an event loop may have read some already
            const qsizetype end = output.indexOf('\n');
            if (end >= 0) {
                lines << QString::fromUtf8(output.left(end));
                output.remove(0, end + 1);
            } else if (!service.waitForReadyRead(kPatience)) {
                break;
            }
        }
        return lines;
    }

    QDBusMessage showFile(const QString& uri, bool closeIfShown = false) {
        return call(bus->bus(), kPreviewerInterface, "ShowFile", {uri, QString(), closeIfShown});
    }

private slots:
    void initTestCase() {
        bus = std::make_unique<PrivateBus>(dir.filePath("data"), "servicebus");
        QVERIFY2(bus->isConnected(), "no private session bus (is dbus-daemon installed?)");
        service.setProcessEnvironment(bus->environment());
        service.start(ORVANTA_PREVIEW, {"--service", "--dump"});
        QVERIFY(bus->waitForPreviewer());
    }

    void cleanupTestCase() {
        service.kill();
        service.waitForFinished();
        bus.reset();
    }

    void showFileShowsWhatDumpShows_data() {
        QTest::addColumn<QString>("file");
        const QString corpus = ORVQL_CORPUS_DIR "/exiftool-t/";
        QTest::newRow("Canon JPEG") << corpus + "Canon.jpg";
        QTest::newRow("Canon RAW") << corpus + "CanonRaw.cr2";
        const QString named = dir.filePath("Été à Paris 01.jpg");
        QFile::copy(corpus + "Canon.jpg", named);
        QTest::newRow("spaces and accents") << named;
    }
    void showFileShowsWhatDumpShows() {
        QFETCH(QString, file);
        if (!QFileInfo::exists(file)) QSKIP("corpus not available");
        const QStringList expected = test::run(ORVANTA_PREVIEW, {"--dump", file}).out.split('\n', Qt::SkipEmptyParts);
        QVERIFY(expected.size() > 3);
        QCOMPARE(showFile(fileUri(file)).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(nextLines(expected.size()).join('\n'), expected.join('\n'));
    }

    void visibleFollowsTheWindowOnBothInterfaces() {
        Listener listener;
        QVERIFY(bus->bus().connect(kPreviewerName, kPreviewerPath, "org.freedesktop.DBus.Properties", "PropertiesChanged",
                                   &listener, SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
        const QString text = dir.filePath("a.txt");
        QFile(text).open(QIODevice::WriteOnly);
        // Closed first, whatever an earlier test left; that may be a change too.
        const qsizetype start = isVisible(bus->bus()) ? 1 : 0;
        call(bus->bus(), kPreviewerInterface, "Close");

        // Each card is shown (its dump printed) before the window closes:
        // a request the user moved past before its load ended prints nothing.
        for (bool space : {true, false}) {
            showFile(fileUri(text));
            QVERIFY(isVisible(bus->bus()));
            QCOMPARE(nextLines(6).size(), 6);
            if (space)
                showFile(fileUri(text), true);  // Space again
            else
                call(bus->bus(), kPreviewerInterface, "Close");
            QVERIFY(!isVisible(bus->bus()));
        }
        call(bus->bus(), kOldPreviewerInterface, "ShowFile", {fileUri(text), 0, false});
        QVERIFY(isVisible(bus->bus()));
        QCOMPARE(nextLines(6).size(), 6);
        call(bus->bus(), kOldPreviewerInterface, "Close");
        QVERIFY(!isVisible(bus->bus()));

        QVERIFY(listener.waitFor(listener.visible, start + 6));
        QCOMPARE(listener.visible.mid(start), (QList<bool>{true, false, true, false, true, false}));
    }

    void arrowKeysBecomeSelectionEvents() {
        // The service in this process, on its own connection to the test's bus.
        const QString name = "servicebus-inprocess";
        QDBusConnection serviceSide = QDBusConnection::connectToBus(bus->address(), name);
        {
            test::ScriptedLoader script{R"({"error":"No file"})", QImage()};
            PreviewService previewer(script.loader());
            QString error;
            QVERIFY2(exportService(previewer, serviceSide, &error), qPrintable(error));
            Listener listener;
            for (const char* interface : {kPreviewerInterface, kOldPreviewerInterface})
                QVERIFY(bus->bus().connect(serviceSide.baseService(), kPreviewerPath, interface, "SelectionEvent",
                                           &listener, SLOT(selectionEvent(uint))));
            previewer.showFile("file:///p/a.jpg", {}, false);
            test::waitForPreview(previewer.controller());
            previewer.widget()->activateWindow();  // as the user's keys find it
            QVERIFY(QTest::qWaitForWindowActive(previewer.widget()));
            for (Qt::Key key : {Qt::Key_Right, Qt::Key_Left, Qt::Key_Up, Qt::Key_Down})
                QTest::keyClick(previewer.widget(), key);
            QVERIFY(listener.waitFor(listener.moves, 8));  // each on both interfaces
            QCOMPARE(listener.moves, (QList<uint>{5, 5, 4, 4, 2, 2, 3, 3}));
            QVERIFY(previewer.isVisible());
            QCOMPARE(script.calls->load(), 1);  // no stepping of our own
        }
        QDBusConnection::disconnectFromBus(name);
    }

    void activationStartsTheServiceAndUnregisteringUndoesIt() {
        const QString data = dir.filePath("activation data");
        PrivateBus activation(data, "activation");
        QVERIFY(activation.isConnected());
        // A copy of the program in a folder whose name Exec= has to quote.
        QVERIFY(QDir().mkpath(dir.filePath("Ada's apps/bin")));
        const QString program = dir.filePath("Ada's apps/bin/orvanta-preview");
        QVERIFY(QFile::copy(ORVANTA_PREVIEW, program));
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
        const QString serviceFile = data + "/dbus-1/services/org.gnome.NautilusPreviewer.service";
        const auto run = [&](const char* option) { return test::run(program, {option}, activation.environment()); };

        const test::Run registered = run("--register-previewer");
        QCOMPARE(registered.status, 0);
        QVERIFY2(registered.out.contains(serviceFile) && registered.out.contains("--unregister-previewer"),
                 qPrintable(registered.out));
        const QByteArray text = contents(serviceFile);
        QVERIFY(text.contains("\nExec=\"" + program.toUtf8() + "\" --service\n"));
        QVERIFY(!activation.bus().interface()->isServiceRegistered(kPreviewerName));

        const QString doc = dir.filePath("b.txt");
        QFile(doc).open(QIODevice::WriteOnly);
        const QDBusMessage reply = call(activation.bus(), kPreviewerInterface, "ShowFile", {fileUri(doc), "", false});
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        QVERIFY(isVisible(activation.bus()));

        const test::Run again = run("--register-previewer");
        QCOMPARE(again.status, 0);
        QVERIFY(again.out.startsWith("Already registered"));
        QCOMPARE(contents(serviceFile), text);

        QDBusServiceWatcher watcher(kPreviewerName, activation.bus(), QDBusServiceWatcher::WatchForUnregistration);
        QSignalSpy gone(&watcher, &QDBusServiceWatcher::serviceUnregistered);
        QCOMPARE(run("--unregister-previewer").status, 0);
        QVERIFY(!QFile::exists(serviceFile));
        QVERIFY(gone.size() > 0 || gone.wait(kPatience));  // the running service of ours stops too
        const test::Run undoneAgain = run("--unregister-previewer");
        QCOMPARE(undoneAgain.status, 0);
        QVERIFY(undoneAgain.out.contains("nothing to undo"));
    }

    void aServiceFileNotOursIsLeftAlone() {
        const QString data = dir.filePath("foreign");
        const QString serviceFile = data + "/dbus-1/services/org.gnome.NautilusPreviewer.service";
        QVERIFY(QDir().mkpath(QFileInfo(serviceFile).path()));
        const QByteArray theirs = "[D-BUS Service]\nName=org.gnome.NautilusPreviewer\nExec=/usr/libexec/other\n";
        QFile file(serviceFile);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(theirs) == theirs.size());
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", data);
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus"));
        for (const char* option : {"--register-previewer", "--unregister-previewer"}) {
            const test::Run r = test::run(ORVANTA_PREVIEW, {option}, env);
            QCOMPARE(r.status, 1);
            QVERIFY2(r.err.contains("not written by orvanta-preview"), qPrintable(r.err));
            QCOMPARE(contents(serviceFile), theirs);
        }
    }
};

ORV_QUICKLOOK_TEST_MAIN(ServiceBusTest)
#include "servicebus_test.moc"
