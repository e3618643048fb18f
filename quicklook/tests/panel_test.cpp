// The metadata panel as the host's --dump reports it: order, words, formats,
// conditions, gaps and long texts shortened; the focus checkbox and its
// stored choice; the widgets against the model, and their geometry.
#include <QCheckBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>

#include "RowView.hpp"
#include "TestSupport.hpp"
#include "TextLabel.hpp"

using namespace orv;
using namespace orv::ui;
using test::json;

namespace {

using Outline = std::vector<std::string>;

const std::string kFooter =
    "footer|Orvanta preview. To use the desktop's own previewer instead, run orvanta-preview --unregister-previewer.|0";

Outline outlineOf(const std::string& envelopeText, const std::filesystem::path& file = "/p/a.jpg") {
    test::ScriptedLoader script{envelopeText, QImage()};
    PreviewViewController controller(script.loader());
    controller.preparePreviewOfFile(file);
    test::waitForPreview(controller);
    return test::panelOutline(dumpLines(controller));
}

Outline outlineOf(const json& file) { return outlineOf(test::envelope(file)); }

// Whole panels compare as one text, so a failure shows both in full.
QString joined(const Outline& outline) {
    std::string text;
    for (const auto& e : outline) text += e + "\n";
    return QString::fromStdString(text);
}

}  // namespace

class PanelTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QSettings("Orvanta", "Preview").clear(); }

    void fullSummaryInOrderWithItsGaps() {
        const Outline expected = {
            "title|IMG_0420.CR3|3",
            "subtitle|Canon EOS R5 · 2024-03-15 14:22:05|20",
            "section|CAMERA & LENS|6",
            "row|Camera|Canon EOS R5|mono|0",
            "row|Lens|RF24-70mm F2.8 L IS USM|mono|0",
            "row|Focal length|50mm|mono|20",
            "section|EXPOSURE|6",
            "row|Aperture|f/2.8|mono|0",
            "row|Shutter|1/250s|mono|0",
            "row|ISO|400|mono|20",
            "section|DATE & LOCATION|6",
            "row|Taken|2024-03-15 14:22:05|mono|0",
            "row|Latitude|48.8584|mono|0",
            "row|Longitude|-2.2945|mono|20",
            "section|MAKER NOTES — CANON|6",
            "row|Focus mode|One-shot AF|mono|10",
            "checkbox|Show focus point|on|20",
            "section|DESCRIPTION|6",
            "row|Title|Quai|0",
            "row|Caption|Evening walk|0",
            "row|Rating|★★★|0",
            "row|Label|Green|0",
            "row|Keywords|river, dusk|20",
            "section|COPYRIGHT|6",
            "row|Copyright|© Ada Example|0",
            "row|Artist|Ada Example|20",
            "section|FILE|6",
            "row|Format|CR3|mono|0",
            "row|Dimensions|6000 × 4000|mono|0",
            "row|Size|24.6 MB|mono|10",
            "note|Has an XMP sidecar. Shown above: what's in the file itself.|4",
            "note|Carries a camera or lens serial number.|22",
            kFooter,
        };
        const Outline actual = outlineOf(test::fullFile());
        QCOMPARE(joined(actual), joined(expected));
    }

    void minimalSummaryShowsDashesAndNoOptionalSections() {
        const Outline expected = {
            "title|a.jpg|20",
            "section|CAMERA & LENS|6",
            "row|Camera|—|mono|0",
            "row|Lens|—|mono|0",
            "row|Focal length|—|mono|20",
            "section|EXPOSURE|6",
            "row|Aperture|—|mono|0",
            "row|Shutter|—|mono|0",
            "row|ISO|—|mono|20",
            "section|DATE & LOCATION|6",
            "row|Taken|—|mono|0",
            "row|Latitude|—|mono|0",
            "row|Longitude|—|mono|20",
            "section|FILE|6",
            "row|Format|JPG|mono|0",
            "row|Dimensions|—|mono|0",
            "row|Size|—|mono|22",
            kFooter,
        };
        QCOMPARE(joined(outlineOf(test::minimalFile())), joined(expected));
    }

    void conditionsAndShortenedTexts_data() {
        QTest::addColumn<QString>("patch");         // merged into a minimal summary
        QTest::addColumn<QStringList>("entries");  // outline entries, or "!" and the start of one that must be missing
        const auto row = [](const char* name, const QString& patch, const QStringList& entries) {
            QTest::newRow(name) << patch << entries;
        };
        row("five stars at most", R"({"rating": 7})", {"row|Rating|★★★★★|20"});
        row("rating 0", R"({"rating": 0})", {"!section|DESCRIPTION"});
        row("empty title shows a dash", R"({"title": ""})", {"row|Title|—|20"});
        row("keywords", R"({"keywords": ["a", "b c"]})", {"row|Keywords|a, b c|20"});
        row("half a position shows none", R"({"gpsLat": 10.5})", {"row|Latitude|—|mono|0"});
        row("make alone", R"({"make": "Leica"})", {"subtitle|Leica|20"});
        row("date alone", R"({"dateTaken": "2023:07:01 10:00:00+02:00"})", {"subtitle|2023-07-01 10:00:00+02:00|20"});
        row("empty date, no separator", R"({"make": "SONY", "model": "ILCE-7M3", "dateTaken": ""})",
            {"subtitle|SONY ILCE-7M3|20"});
        row("empty copyright", R"({"copyright": ""})", {"!section|COPYRIGHT"});
        row("copyright symbol, artist missing", R"({"copyright": "©"})", {"row|Copyright|©|0", "row|Artist|—|20"});
        row("brand caption and field",
            R"({"makerNotes": {"brand": "Fujifilm", "fields": [{"label": "Film", "value": "Provia"}]}})",
            {"section|MAKER NOTES — FUJIFILM|6", "row|Film|Provia|mono|20"});
        row("look alone", R"({"lookName": "Velvia"})", {"section|CAMERA SETTINGS|6", "row|Picture style|Velvia|mono|20"});
        row("brand hides the look", R"({"lookName": "Velvia", "makerNotes": {"brand": "Sony"}})", {"!row|Picture style"});
        // A focus box alone opens no section, so there is nothing to tick.
        row("focus alone", R"({"makerNotes": {"focus": {"x": 1, "y": 2, "w": 3, "h": 4}}})",
            {"!checkbox", "!section|MAKER"});
        row("focus with a look", R"({"lookName": "Vivid", "makerNotes": {"focus": {"x": 1, "y": 2, "w": 3, "h": 4}}})",
            {"checkbox|Show focus point|on|20"});

        // A long text is cut where a character ends, and says how much is left out.
        const auto caption = [](const QString& text) { return QString(R"({"caption": "%1"})").arg(text); };
        const QString x1999(1999, u'x'), x2000(2000, u'x');
        row("2,000 characters whole", caption(x2000), {"row|Caption|" + x2000 + "|20"});
        row("2,001 characters", caption(x2000 + "y"), {"row|Caption|" + x2000 + "… (1 more character)|20"});
        row("300,000 characters", caption(QString(300'000, u'x')),
            {"row|Caption|" + x2000 + "… (298,000 more characters)|20"});
        row("surrogate pair kept whole", caption(x1999 + "😀yz"), {"row|Caption|" + x1999 + "… (3 more characters)|20"});
        row("letter kept with its mark", caption(x1999 + "e\u0301ab"),
            {"row|Caption|" + x1999 + "… (3 more characters)|20"});
        row("marks piled on one letter", caption("e" + QString("\u0301").repeated(2500)),
            {"row|Caption|e" + QString(QChar(0x301)).repeated(1999) + "… (1 more character)|20"});
    }
    void conditionsAndShortenedTexts() {
        QFETCH(QString, patch);
        QFETCH(QStringList, entries);
        json f = test::minimalFile();
        f.merge_patch(json::parse(patch.toStdString()));
        const Outline outline = outlineOf(f);
        for (const QString& entry : entries) {
            const bool missing = entry.startsWith('!');
            const std::string wanted = (missing ? entry.mid(1) : entry).toStdString();
            // Present: that whole entry. Missing: no entry that starts so.
            const bool found = std::any_of(outline.begin(), outline.end(), [&](const std::string& e) {
                return missing ? e.starts_with(wanted) : e == wanted;
            });
            QVERIFY2(found != missing, qPrintable(entry.left(100) + "\n" + joined(outline).left(5000)));
        }
    }

    void storedChoiceSetsTheCheckboxAndTickingStoresIt() {
        QSettings("Orvanta", "Preview").setValue("showFocusPoint", false);
        test::ScriptedLoader script{test::envelope(test::fullFile()), QImage()};
        PreviewViewController controller(script.loader());
        controller.preparePreviewOfFile("/p/x.cr3");
        test::waitForPreview(controller);
        QVERIFY(!controller.photo().showFocus());
        QCheckBox* box = controller.view()->findChild<QCheckBox*>();
        QVERIFY(box && !box->isChecked());
        box->click();
        QVERIFY(controller.photo().showFocus());
        QVERIFY(test::panelText(controller).contains("checkbox|Show focus point|on|"));
        QCOMPARE(QSettings("Orvanta", "Preview").value("showFocusPoint").toString(), QString("true"));

        // Anything stored that is not a boolean counts as true.
        QSettings("Orvanta", "Preview").setValue("showFocusPoint", "maybe");
        PreviewViewController fresh(script.loader());
        fresh.loadView();
        QVERIFY(fresh.photo().showFocus());
    }

    void widgetsShowTheModelInTheColumnGeometry() {
        json f = test::fullFile();
        f["filename"] = std::string(120, 'W') + ".jpg";  // no spaces anywhere
        f["caption"] = std::string(300'000, 'c');         // laid out whole, this held the window for many seconds
        for (int i = 0; i < 30; ++i) f["makerNotes"]["fields"].push_back({{"label", "Field"}, {"value", "value"}});
        test::ScriptedLoader script{test::envelope(f), QImage()};
        PreviewViewController controller(script.loader());
        controller.view()->resize(1180, 760);
        controller.view()->show();
        controller.preparePreviewOfFile("/p/x.jpg");
        test::waitForPreview(controller);
        QCoreApplication::processEvents();

        // --dump reads the model: the window must show the same words, in order, with the same gaps.
        const QList<QWidget*> views = controller.stack().arrangedSubviews();
        qsizetype next = 0;
        for (const PanelElement& element : controller.panel()) {
            QWidget* view = views.value(next++);
            QString shown, expected = element.text;
            if (const auto* row = qobject_cast<RowView*>(view)) {
                shown = row->keyLabel()->text() + "|" + row->valueLabel()->text();
                expected += "|" + element.value;
                view = views.value(next++);  // the line under the row carries its gap
            } else if (const auto* box = qobject_cast<QCheckBox*>(view)) {
                shown = box->text() + (box->isChecked() ? "|on" : "|off");
                expected += element.on ? "|on" : "|off";
            } else if (const auto* label = qobject_cast<TextLabel*>(view)) {
                shown = label->text();
            }
            QCOMPARE(shown, expected);
            QCOMPARE(controller.stack().customSpacing(view), element.gapAfter);
            if (next < views.size()) QCOMPARE(views[next]->y(), view->geometry().bottom() + 1 + int(element.gapAfter));
            if (element.text == "Caption") QVERIFY(shown.size() < 2100);
        }
        QCOMPARE(next, views.size());
        QCOMPARE(controller.stack().height(), views.back()->geometry().bottom() + 1 + 24);

        QScrollArea* scroll = controller.scrollView();
        QCOMPARE(scroll->geometry().width(), 340);
        QCOMPARE(scroll->mapTo(controller.view(), QPoint(0, 0)).x(), 1180 - 340);
        // The panel is long enough to scroll, and the scroller floats over it.
        QVERIFY(scroll->verticalScrollBar()->maximum() > 0);
        QCOMPARE(scroll->viewport()->width(), 340);

        QCOMPARE(views.front()->geometry().left(), 20);
        QCOMPARE(views.front()->geometry().top(), 18);
        for (QWidget* view : views) QCOMPARE(view->width(), 300);
        auto* title = static_cast<TextLabel*>(views.front());
        QVERIFY(title->height() > 3 * QFontMetrics(title->font()).height());  // wrapped at characters
        for (QWidget* view : views) {
            auto* row = qobject_cast<RowView*>(view);
            if (!row) continue;
            const QRect value = row->valueLabel()->geometry();
            QVERIFY(value.width() <= 190);
            QCOMPARE(value.right() + 1, 300);
            QCOMPARE(value.top(), 6);
            QCOMPARE(row->height(), value.height() + 12);
            QVERIFY(row->keyLabel()->geometry().right() + 12 <= value.left());
        }
    }
};

ORV_QUICKLOOK_TEST_MAIN(PanelTest)
#include "panel_test.moc"
