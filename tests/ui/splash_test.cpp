// The start-up splash on the virtual clock: it closes itself once the main window exists,
// asking first 500 ms after it was shown and then every 100 ms.
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "platform/manual_event_loop.h"
#include "ui/skin.h"
#include "ui/splash.h"
#include "ui_test_util.h"

using namespace tw;
using namespace tw::test;
using namespace std::chrono_literals;

class SplashTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { SetSkinFolder(BuildDataFolder()); }

    void itClosesAtTheFirstCheckAfterTheMainWindowExists()
    {
        ManualEventLoop loop;
        bool exists = true;
        int asked = 0;
        CSplashWnd splash(loop, [&] {
            ++asked;
            return exists;
        });
        QVERIFY(!splash.IsEmpty());
        QCOMPARE(splash.size(), QSize(400, 240));
        splash.Start();
        QVERIFY(splash.isVisible());
        // Not before 500 ms, even though the main window is already there.
        loop.advance(499ms);
        QCOMPARE(asked, 0);
        QVERIFY(!splash.IsClosed());
        exists = false;
        loop.advance(1ms);
        QCOMPARE(asked, 1);
        loop.advance(99ms);
        QCOMPARE(asked, 1);
        loop.advance(1ms);
        QCOMPARE(asked, 2);
        exists = true;
        loop.advance(100ms);
        QVERIFY(splash.IsClosed());
        QVERIFY(!splash.isVisible());
        // No tick reaches a closed splash.
        loop.advance(1000ms);
        QCOMPARE(asked, 3);
    }

    void aBitmapOfAnotherFormShowsAnEmptySplash()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("ui"));
        BmpShape rle;
        rle.compression = 1;
        QVERIFY(WriteFile(dir.filePath("ui/splash.bmp").toStdString(), MakeBmp(rle)));
        SetSkinFolder(dir.path().toStdString());
        ManualEventLoop loop;
        CSplashWnd splash(loop, [] { return true; });
        QVERIFY(splash.IsEmpty());
        splash.Start();
        loop.advance(500ms);
        QVERIFY(splash.IsClosed());
    }
};

QTEST_MAIN(SplashTest)
#include "splash_test.moc"
