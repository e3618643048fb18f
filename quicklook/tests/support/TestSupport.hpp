// Shared helpers of the interface tests: a private settings folder, crafted
// envelopes, a scripted loader and a wait for a controller's result.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QProcess>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

#include <nlohmann/json.hpp>

#include "Dump.hpp"
#include "PreviewViewController.hpp"
#include "Reader.hpp"

namespace orv::test {

using json = nlohmann::json;

// Every test program runs offscreen with its own settings folder, so the
// stored focus-box choice never leaks between runs or from the user.
inline QTemporaryDir& isolateEnvironment() {
    static QTemporaryDir home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    return home;
}

// A summary with every member set: the shape the core sends for a rich file.
inline json fullFile() {
    return json::parse(R"({
      "path": "/photos/IMG_0420.CR3", "filename": "IMG_0420.CR3", "extension": "cr3",
      "fileSize": 24567890, "make": "Canon", "model": "Canon EOS R5", "lens": "RF24-70mm F2.8 L IS USM",
      "dateTaken": "2024:03:15 14:22:05", "gpsLat": 48.85837, "gpsLon": -2.2945,
      "aperture": 2.8, "shutterSpeed": 0.004, "iso": 400, "focalLength": 50,
      "width": 6000, "height": 4000, "orientation": 1,
      "copyright": "© Ada Example", "artist": "Ada Example", "title": "Quai", "caption": "Evening walk",
      "rating": 3, "colorLabel": "Green", "shutterCount": 1234, "lookName": "Fine Detail",
      "hasSerialNumbers": true, "keywords": ["river", "dusk"],
      "makerNotes": {"brand": "Canon", "fields": [{"label": "Focus mode", "value": "One-shot AF"}],
                     "focus": {"x": 47.5, "y": 40, "w": 5, "h": 6.25}},
      "hasSidecar": true})");
}

// Nothing but the members that must be there.
inline json minimalFile() {
    return json::parse(R"({"path": "/p/a.jpg", "filename": "a.jpg", "extension": "jpg", "orientation": 1,
      "hasSerialNumbers": false, "keywords": [], "hasSidecar": false,
      "makerNotes": {"brand": null, "fields": [], "focus": null}})");
}

inline std::string envelope(const json& file) { return json{{"file", file}}.dump(); }

// A loader that answers every request with the outcome of an envelope text
// and a given picture, counting its calls (it runs on the pool's threads).
struct ScriptedLoader {
    std::string envelopeText;
    QImage picture;
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);

    ui::PreviewViewController::Loader loader() const {
        return [text = envelopeText, image = picture, calls = calls](const std::filesystem::path&,
                                                                     const ui::InspectionReport&) {
            ++*calls;
            return ui::LoadResult{ui::DecodedImage{image}, ui::Reader::outcomeOfEnvelope(text)};
        };
    }
};

// A loader that holds each request until the test lets it go, so the order
// in which loads finish is the test's choice, not the scheduler's. Each load
// of a file releases its gate's `started` once. With reportsInspection, a
// load first reports its inspection (before `started`) and then holds only
// its picture.
struct GatedLoader {
    struct Gate {
        QSemaphore started, release;
    };
    std::map<std::string, std::string> envelopes;  // by file name
    std::map<std::string, QImage> pictures;
    std::map<std::string, std::shared_ptr<Gate>> gates;
    bool reportsInspection = false;

    void add(const std::string& name, const std::string& envelope, const QImage& picture = {}) {
        envelopes[name] = envelope;
        pictures[name] = picture;
        gates[name] = std::make_shared<Gate>();
    }
    Gate& gate(const std::string& name) { return *gates.at(name); }

    ui::PreviewViewController::Loader loader() const {
        return [envelopes = envelopes, pictures = pictures, gates = gates, reports = reportsInspection](
                   const std::filesystem::path& file, const ui::InspectionReport& report) {
            const std::string name = file.filename().string();
            Gate& gate = *gates.at(name);
            ui::InspectionOutcome outcome = ui::Reader::outcomeOfEnvelope(envelopes.at(name));
            if (reports) report(outcome);
            gate.started.release();
            gate.release.acquire();
            return ui::LoadResult{ui::DecodedImage{pictures.at(name)}, std::move(outcome)};
        };
    }
};

// A zoom loader over a made-up full-size picture, a checkerboard of single
// pixels (`colour` where x + y is odd, black elsewhere): the region wanted,
// moved inside the picture and cut to it. Logs each file and wish; with
// `gate`, each load waits for a release of it.
struct FakeZoom {
    QSize full{6000, 4000};
    bool embedded = false;
    QColor colour{200, 40, 40};
    struct Log {
        std::mutex lock;
        std::vector<std::pair<std::string, ui::ZoomWish>> wishes;
    };
    std::shared_ptr<Log> log = std::make_shared<Log>();
    std::shared_ptr<QSemaphore> gate;

    ui::ZoomLoader loader() const {
        return [*this](const std::filesystem::path& file, int64_t, const ui::ZoomWish& wish) {
            {
                std::lock_guard guard(log->lock);
                log->wishes.emplace_back(file.filename().string(), wish);
            }
            if (gate) gate->acquire();
            const int w = std::min(wish.size.width(), full.width()), h = std::min(wish.size.height(), full.height());
            const auto start = [](double centre, int side, int whole) {
                return std::clamp(static_cast<int>(std::lround(centre * whole - side / 2.0)), 0, whole - side);
            };
            const QRect rect(start(wish.centre.x(), w, full.width()), start(wish.centre.y(), h, full.height()), w, h);
            QImage image(w, h, QImage::Format_RGB32);
            for (int y = 0; y < h; ++y) {
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < w; ++x) line[x] = (rect.x() + x + rect.y() + y) % 2 ? colour.rgb() : qRgb(0, 0, 0);
            }
            return ui::ZoomRegion{image, full, rect, embedded};
        };
    }
    std::vector<std::pair<std::string, ui::ZoomWish>> wishes() const {
        std::lock_guard guard(log->lock);
        return log->wishes;
    }
};

// Runs the event loop until the controller shows its file in full, zoomed
// region included.
inline void waitForZoom(ui::PreviewViewController& controller) {
    QEventLoop loop;
    QObject::connect(&controller, &ui::PreviewViewController::previewPrepared, &loop, &QEventLoop::quit);
    QObject::connect(&controller, &ui::PreviewViewController::zoomPrepared, &loop, &QEventLoop::quit);
    while (controller.isPreparing() || controller.isZoomPending()) loop.exec();
}

// Answers every file with its own error panel (titled with the file's name)
// and counts the loads of each file.
struct CountingLoader {
    struct Counts {
        std::mutex lock;
        std::map<std::string, int> byName;
    };
    std::shared_ptr<Counts> counts = std::make_shared<Counts>();

    ui::Loader loader() const {
        return [counts = counts](const std::filesystem::path& file, const ui::InspectionReport&) {
            {
                std::lock_guard guard(counts->lock);
                ++counts->byName[file.filename().string()];
            }
            return ui::LoadResult{ui::DecodedImage{}, ui::ReadError{QStringLiteral("No file")}};
        };
    }
    int of(const std::string& name) const {
        std::lock_guard guard(counts->lock);
        const auto it = counts->byName.find(name);
        return it == counts->byName.end() ? 0 : it->second;
    }
};

// The title line of the panel a controller shows.
inline std::string panelTitle(const ui::PreviewViewController& controller) {
    return json::parse(ui::dumpLines(controller).at(1))["text"].get<std::string>();
}

// Lets every load started so far finish and hands their results over.
inline void finishLoads() {
    ui::PreviewViewController::finishLoads();
    QCoreApplication::sendPostedEvents();
}

// Runs the event loop until the controller's panel shows an inspection.
inline void waitForPanel(ui::PreviewViewController& controller) {
    bool shown = false;
    QEventLoop loop;
    QObject::connect(&controller, &ui::PreviewViewController::panelPrepared, &loop, [&] {
        shown = true;
        loop.quit();
    });
    while (!shown) loop.exec();
}

// A program run to its end: exit status (-1 when it crashed) and its output.
struct Run {
    int status = -1;
    QString out, err;
};

inline Run run(const QString& program, const QStringList& args,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(-1);
    return Run{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
               QString::fromUtf8(p.readAllStandardError())};
}

// Runs the event loop until the controller has shown a result.
inline void waitForPreview(ui::PreviewViewController& controller) {
    QEventLoop loop;
    QObject::connect(&controller, &ui::PreviewViewController::previewPrepared, &loop, &QEventLoop::quit);
    while (controller.isPreparing()) loop.exec();
    QCoreApplication::sendPostedEvents();
}

// The panel part of a --dump, one compact "kind|text or label|value[|mono]|gap"
// per element, for comparing whole panels at a glance.
inline std::vector<std::string> panelOutline(const std::vector<std::string>& dump) {
    std::vector<std::string> outline;
    for (size_t i = 1; i < dump.size(); ++i) {
        const json line = json::parse(dump[i]);
        std::string entry = line["kind"].get<std::string>() + "|";
        if (line.contains("label"))
            entry += line["label"].get<std::string>() + "|" + line["value"].get<std::string>() +
                     (line["mono"].get<bool>() ? "|mono" : "");
        else
            entry += line["text"].get<std::string>();
        if (line.contains("on")) entry += line["on"].get<bool>() ? "|on" : "|off";
        entry += "|" + line["gapAfter"].dump();
        outline.push_back(entry);
    }
    return outline;
}

// A controller's panel outline on one line, elements parted by " / ", for
// comparisons that print what they found.
inline QString panelText(const ui::PreviewViewController& controller) {
    QStringList parts;
    for (const std::string& entry : panelOutline(ui::dumpLines(controller))) parts << QString::fromStdString(entry);
    return parts.join(" / ");
}

}  // namespace orv::test

// Qt Test's main, after isolating the environment.
#define ORV_QUICKLOOK_TEST_MAIN(TestClass)            \
    int main(int argc, char** argv) {                 \
        orv::test::isolateEnvironment();              \
        QApplication app(argc, argv);                 \
        TestClass test;                               \
        return QTest::qExec(&test, argc, argv);       \
    }
