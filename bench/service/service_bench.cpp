// What a user of the file manager waits for: `orvanta-preview --service
// --dump` on a session bus of our own, asked to ShowFile as GNOME Files asks
// on Space, timed from the call to the last line of the completed window
// (a picture and the panel's footer). Every request runs in the same warm
// service.
//
//   service_bench PREVIEW latency FILE...      first file warms up; median of the rest
//   service_bench PREVIEW neighbour DIR...     per DIR: show DIR/a.*, wait 1.5 s, time DIR/b.*
//   service_bench PREVIEW contended DIR...     per pair of DIRs: show the first's a.*, then at
//                                              once time the second's a.* (the first's b.* loading)
//   service_bench PREVIEW rss N FILE...        N requests over the files; memory of the
//                                              service and its child processes
//   service_bench PREVIEW slow DIR FILE...     per FILE: show DIR/a.* (whose neighbour is slow
//                                              to read), then at once time FILE (another folder)
//   service_bench PREVIEW peak SECONDS FILE    show FILE, then sample the memory of the service
//                                              and its processes for SECONDS; the highest
//   service_bench PREVIEW burst N FILE...      N ShowFile calls at once over the files, the last
//                                              for the last FILE: time from it to its window
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QUrl>

namespace {

constexpr int kPatienceMs = 120000;
constexpr char kName[] = "org.gnome.NautilusPreviewer";
constexpr char kPath[] = "/org/gnome/NautilusPreviewer";
constexpr char kInterface[] = "org.gnome.NautilusPreviewer2";

[[noreturn]] void die(const std::string& why) {
    std::fprintf(stderr, "service_bench: %s\n", why.c_str());
    std::exit(1);
}

class Service {
public:
    explicit Service(const QString& preview) {
        bus_daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!bus_daemon_.waitForReadyRead(kPatienceMs)) die("no dbus-daemon");
        const QString address = QString::fromUtf8(bus_daemon_.readLine()).trimmed();
        bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "bench"));
        if (!bus_->isConnected()) die("cannot reach the private bus");

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        service_.setProcessEnvironment(env);
        service_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        service_.start(preview, {"--service", "--dump"});
        QElapsedTimer waited;
        waited.start();
        while (!bus_->interface()->isServiceRegistered(kName)) {
            if (waited.elapsed() > kPatienceMs) die("the service never took its name");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~Service() {
        service_.terminate();
        service_.waitForFinished();
        bus_.reset();
        QDBusConnection::disconnectFromBus("bench");
        bus_daemon_.terminate();
        bus_daemon_.waitForFinished();
    }

    // Asks for the file without waiting for its window.
    void ask(const QString& file) {
        const QString uri = QUrl::fromLocalFile(QDir(file).absolutePath()).toString(QUrl::FullyEncoded);
        QDBusMessage call = QDBusMessage::createMethodCall(kName, kPath, kInterface, "ShowFile");
        call.setArguments({uri, QString(), false});
        const QDBusMessage reply = bus_->call(call, QDBus::Block, kPatienceMs);
        if (reply.type() != QDBusMessage::ReplyMessage) die("ShowFile failed: " + reply.errorMessage().toStdString());
    }

    // Waits for the completed window of this file (a picture, then the
    // panel's title naming it and its footer); the dump of any other file
    // is passed over.
    void await(const QString& file, const QElapsedTimer& timer) {
        const QByteArray title = "\"kind\":\"title\",\"text\":\"" + QDir(file).dirName().toUtf8() + "\"";
        bool pictured = false, named = false;
        for (;;) {
            while (!service_.canReadLine()) {
                if (timer.elapsed() > kPatienceMs || !service_.waitForReadyRead(kPatienceMs)) die("no window for " + file.toStdString());
            }
            const QByteArray line = service_.readLine();
            if (line.startsWith("{\"photo\":")) pictured = !line.startsWith("{\"photo\":{\"image\":null"), named = false;
            if (line.contains(title)) named = true;
            if (pictured && named && line.contains("\"kind\":\"footer\"")) return;
        }
    }

    // Seconds from ShowFile to the completed window for this file.
    double show(const QString& file) {
        QElapsedTimer timer;
        timer.start();
        ask(file);
        await(file, timer);
        return timer.nsecsElapsed() / 1e9;
    }

    // Resident memory of the service and of every process it started.
    double rss_mb(bool children = true, bool self = true) const {
        const qint64 pid = service_.processId();
        double kb = 0;
        for (const auto& entry : QDir("/proc").entryList(QDir::Dirs)) {
            bool numeric = false;
            entry.toLongLong(&numeric);
            if (!numeric) continue;
            std::ifstream stat("/proc/" + entry.toStdString() + "/stat");
            std::string text((std::istreambuf_iterator<char>(stat)), {});
            const size_t close = text.rfind(')');
            if (close == std::string::npos) continue;
            long long ppid = 0;
            char state = 0;
            std::sscanf(text.c_str() + close + 2, "%c %lld", &state, &ppid);
            const bool is_self = entry.toLongLong() == pid, is_child = ppid == pid;
            if (!(is_self && self) && !(is_child && children)) continue;
            std::ifstream status("/proc/" + entry.toStdString() + "/status");
            for (std::string line; std::getline(status, line);) {
                if (line.rfind("VmRSS:", 0) == 0) kb += std::stod(line.substr(6));
            }
        }
        return kb / 1024;
    }

private:
    QProcess bus_daemon_;
    QProcess service_;
    std::unique_ptr<QDBusConnection> bus_;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

QString member(const QString& dir, const char* stem) {
    const QStringList found = QDir(dir).entryList({QString(stem) + ".*"}, QDir::Files);
    if (found.isEmpty()) die("no " + std::string(stem) + ".* in " + dir.toStdString());
    return dir + "/" + found.front();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) die("usage: service_bench PREVIEW latency|neighbour|rss ...");
    const QString mode = args[2];
    Service service(args[1]);
    if (const char* settle = std::getenv("SERVICE_BENCH_SETTLE_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(settle)));

    if (mode == "latency") {
        const double first = service.show(args[3]);  // the service's first picture: libraries, residents
        if (std::getenv("SERVICE_BENCH_TRACE")) std::fprintf(stderr, "first request %.3f s\n", first);
        std::vector<double> times;
        for (qsizetype i = 4; i < args.size(); ++i) times.push_back(service.show(args[i]));
        if (times.empty()) die("latency needs a warm-up file and at least one more");
        std::printf("median_s=%.6f runs=%zu\n", median(times), times.size());
    } else if (mode == "neighbour") {
        std::vector<double> times;
        for (qsizetype i = 3; i < args.size(); ++i) {
            service.show(member(args[i], "a"));
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            times.push_back(service.show(member(args[i], "b")));
        }
        std::printf("median_s=%.6f runs=%zu\n", median(times), times.size());
    } else if (mode == "contended") {
        // A file asked for right after another, whose neighbour is still
        // being prepared: what a quick step to another folder costs.
        std::vector<double> times;
        for (qsizetype i = 3; i + 1 < args.size(); i += 2) {
            service.show(member(args[i], "a"));
            times.push_back(service.show(member(args[i + 1], "a")));
        }
        std::printf("median_s=%.6f runs=%zu\n", median(times), times.size());
    } else if (mode == "rss") {
        const int requests = args[3].toInt();
        const QStringList files = args.mid(4);
        if (requests < 2 || files.isEmpty()) die("rss needs a count and files");
        // Memory once everything has been loaded at least once, then at the end.
        for (const QString& f : files) service.show(f);
        const double start = service.rss_mb();
        for (int i = 0; i < requests; ++i) {
            service.show(files[i % files.size()]);
            if (std::getenv("SERVICE_BENCH_TRACE") && i % 100 == 0)
                std::fprintf(stderr, "%d: service %.1f MB, its processes %.1f MB\n", i, service.rss_mb(false, true),
                             service.rss_mb(true, false));
        }
        const double end = service.rss_mb();
        std::printf("start_mb=%.1f end_mb=%.1f growth_mb=%.1f requests=%d\n", start, end, end - start, requests);
    } else if (mode == "slow") {
        // What a neighbour that takes ExifTool minutes costs a file asked
        // for right after its folder's first file.
        std::vector<double> times;
        for (qsizetype i = 4; i < args.size(); ++i) {
            service.show(member(args[3], "a"));
            times.push_back(service.show(args[i]));
        }
        std::printf("median_s=%.6f runs=%zu\n", median(times), times.size());
    } else if (mode == "peak") {
        const double seconds = args[3].toDouble();
        service.show(args[4]);
        double peak = 0;
        QElapsedTimer watched;
        watched.start();
        while (watched.elapsed() < seconds * 1000) {
            peak = std::max(peak, service.rss_mb());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::printf("peak_mb=%.1f\n", peak);
    } else if (mode == "burst") {
        const int requests = args[3].toInt();
        const QStringList files = args.mid(4);
        if (requests < 1 || files.isEmpty()) die("burst needs a count and files");
        service.show(files.front());  // warm
        QElapsedTimer timer;
        for (int i = requests - 1; i >= 0; --i) {
            const QString& file = files[(files.size() - 1 - i % files.size())];
            timer.start();
            service.ask(file);
        }
        service.await(files.back(), timer);
        std::printf("last_s=%.6f requests=%d\n", timer.nsecsElapsed() / 1e9, requests);
    } else {
        die("unknown mode " + mode.toStdString());
    }
    return 0;
}
