// The file manager's order of a folder: names with numbers, hidden files,
// and the nearest accepted file on each side of the one shown.
#include "FolderOrder.hpp"
#include "TestSupport.hpp"

using namespace orv;
using namespace orv::ui::host;
namespace fs = std::filesystem;

class FolderOrderTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    fs::path at(const char* name) const { return fs::path(dir.path().toStdString()) / name; }

private slots:
    void initTestCase() {
        for (const char* name : {"IMG_1.jpg", "IMG_2.jpg", "IMG_10.jpg", "IMG_20.jpg", ".IMG_11.jpg"})
            QVERIFY(QFile(QString::fromStdString(at(name).native())).open(QIODevice::WriteOnly));
    }

    void numbersInNamesSortAsNumbers_data() {
        QTest::addColumn<QByteArray>("earlier");
        QTest::addColumn<QByteArray>("later");
        // Each pair is in the other order byte by byte.
        QTest::newRow("inside a name") << QByteArray("a9b.jpg") << QByteArray("a10b.jpg");
        QTest::newRow("one digit more") << QByteArray("DSC_999.NEF") << QByteArray("DSC_1000.NEF");
    }
    void numbersInNamesSortAsNumbers() {
        QFETCH(QByteArray, earlier);
        QFETCH(QByteArray, later);
        QVERIFY(earlier.toStdString() > later.toStdString());
        QVERIFY(FolderOrder::sortKey(earlier.toStdString()) < FolderOrder::sortKey(later.toStdString()));
    }

    void neighboursAreTheNearestShownFilesOnEachSide_data() {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("middle") << "IMG_10.jpg" << "IMG_2.jpg" << "IMG_20.jpg";
        // .IMG_11.jpg would come first: hidden files are passed over.
        QTest::newRow("first") << "IMG_1.jpg" << "" << "IMG_2.jpg";
        QTest::newRow("last") << "IMG_20.jpg" << "IMG_10.jpg" << "";
        QTest::newRow("gone since") << "IMG_15.jpg" << "IMG_10.jpg" << "IMG_20.jpg";
    }
    void neighboursAreTheNearestShownFilesOnEachSide() {
        QFETCH(QString, shown);
        QFETCH(QString, before);
        QFETCH(QString, after);
        int asked = 0;
        const auto near = FolderOrder::neighboursOf(at(shown.toUtf8().constData()), [&](const fs::path&) {
            ++asked;
            return true;
        });
        QCOMPARE(QString::fromStdString(near.before ? near.before->filename().native() : ""), before);
        QCOMPARE(QString::fromStdString(near.after ? near.after->filename().native() : ""), after);
        QCOMPARE(asked, int(!before.isEmpty()) + int(!after.isEmpty()));  // the listing itself reads no file
        if (near.after) QCOMPARE(near.after->parent_path(), at("x").parent_path());
    }
};

ORV_QUICKLOOK_TEST_MAIN(FolderOrderTest)
#include "folderorder_test.moc"
