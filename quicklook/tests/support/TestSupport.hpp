// Shared helpers of the interface tests: a private settings folder, crafted
// envelopes, a scripted loader and a wait for a controller's result.
#pragma once

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QImage>
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
        return [text = envelopeText, image = picture, calls = calls](const std::filesystem::path&) {
            ++*calls;
            return ui::LoadResult{ui::DecodedImage{image}, ui::Reader::outcomeOfEnvelope(text)};
        };
    }
};

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

}  // namespace orv::test

// Qt Test's main, after isolating the environment.
#define ORV_QUICKLOOK_TEST_MAIN(TestClass)            \
    int main(int argc, char** argv) {                 \
        orv::test::isolateEnvironment();              \
        QApplication app(argc, argv);                 \
        TestClass test;                               \
        return QTest::qExec(&test, argc, argv);       \
    }
