// Skin bitmaps, image buttons and the position slider.
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "ui/image_button.h"
#include "ui/navigator.h"
#include "ui/skin.h"
#include "ui/skin_bitmap.h"
#include "ui/ui_log.h"
#include "ui_test_util.h"

using namespace tw;
using namespace tw::test;

class SkinTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::vector<std::string> m_logged;

    std::string file(const char* name) { return m_dir.filePath(name).toStdString(); }
    int load(const QByteArray& bytes)
    {
        const std::string path = file("t.bmp");
        WriteFile(path, bytes);
        CSkinBitmap bmp;
        return bmp.Load(path);
    }
    void press(QWidget& w, QPoint at) { QTest::mousePress(&w, Qt::LeftButton, {}, at); }
    void drag(QWidget& w, QPoint to)
    {
        QMouseEvent move(QEvent::MouseMove, to, w.mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&w, &move);
    }

private slots:
    void initTestCase()
    {
        setUiLogSinks([this](std::string_view t) { m_logged.emplace_back(t); }, {});
        SetSkinFolder(BuildDataFolder());
    }

    void acceptsTheSkinFormsAndRefusesTheRest()
    {
        // 24 bits, 3 pixels wide: rows of 12 bytes (9 rounded up); exactly that loads, one
        // byte less is a short file.
        QCOMPARE(SkinRowBytes(24, 3), 12);
        const QByteArray rgb = MakeBmp({3, 2, 24});
        QCOMPARE(rgb.size(), 54 + 2 * 12);
        QCOMPARE(load(rgb), 1);
        QCOMPARE(load(rgb.left(rgb.size() - 1)), CSkinBitmap::kShortFile);
        // 8 bits with colours-used 0: a 1024-byte table.
        const QByteArray pal = MakeBmp({3, 2, 8});
        QCOMPARE(pal.size(), 54 + 1024 + 2 * 4);
        QCOMPARE(load(pal), 1);
        QCOMPARE(load(MakeBmp({3, 2, 8, 0, 0, 40, 16})), CSkinBitmap::kShortFile);
        QCOMPARE(load(MakeBmp({3, 2, 8, 0, 2})), 1);
        // 4 bits, run-length encoding, another header size, a bad signature, no file.
        QCOMPARE(load(MakeBmp({3, 2, 4})), CSkinBitmap::kBadFormat);
        QCOMPARE(load(MakeBmp({3, 2, 8, 1})), CSkinBitmap::kBadFormat);
        QCOMPARE(load(MakeBmp({3, 2, 24, 0, 0, 124})), CSkinBitmap::kBadFormat);
        QByteArray notBm = rgb;
        notBm[0] = 'X';
        QCOMPARE(load(notBm), CSkinBitmap::kBadFormat);
        QCOMPARE(load(rgb.left(20)), CSkinBitmap::kShortFile);
        // A header that promises a huge image from a tiny file.
        QCOMPARE(load(MakeBmp({3, 2, 24}).left(54) + QByteArray(8, 0)), CSkinBitmap::kShortFile);
        QByteArray huge = MakeBmp({3, 2, 32});
        huge[18] = huge[22] = char(0x40); // 8000 x 8000 (0x1F40)
        huge[19] = huge[23] = char(0x1F);
        QCOMPARE(load(huge), CSkinBitmap::kShortFile);
        CSkinBitmap none;
        QCOMPARE(none.Load(file("missing.bmp")), CSkinBitmap::kCannotOpen);
        QCOMPARE(none.Width(), 0);
    }

    void decodesEveryDepthBottomUp()
    {
        for (int bpp : {8, 16, 24, 32}) {
            WriteFile(file("d.bmp"), MakeBmp({5, 3, bpp}, 0x00F08010));
            CSkinBitmap bmp;
            QCOMPARE(bmp.Load(file("d.bmp")), 1);
            QCOMPARE(bmp.Width(), 5);
            QCOMPARE(bmp.Height(), 3);
            const QColor c = bmp.Image().pixelColor(4, 0);
            QVERIFY2(qAbs(c.red() - 0xF0) <= 8 && qAbs(c.green() - 0x80) <= 8 &&
                         qAbs(c.blue() - 0x10) <= 8,
                     qPrintable(QString("%1 bits: %2").arg(bpp).arg(c.name())));
        }
        // A refused load leaves the bitmap empty, even after a good one.
        CSkinBitmap bmp;
        QCOMPARE(bmp.Load(file("d.bmp")), 1);
        WriteFile(file("bad.bmp"), MakeBmp({3, 2, 4}));
        QVERIFY(bmp.Load(file("bad.bmp")) <= 0);
        QVERIFY(bmp.IsEmpty());
        QCOMPARE(bmp.Height(), 0);
    }

    void buttonFacesFollowKindStateHoverAndPress()
    {
        // disabled 0; push: pressed 1/2, normal 3/4; two-state mirrors by state.
        QCOMPARE(CImageButton::ChooseFace(1, 1, false, false, false), 4);
        QCOMPARE(CImageButton::ChooseFace(1, 1, true, false, false), 3);
        QCOMPARE(CImageButton::ChooseFace(1, 1, true, true, false), 1);
        QCOMPARE(CImageButton::ChooseFace(1, 1, false, true, false), 2);
        QCOMPARE(CImageButton::ChooseFace(1, 1, true, false, true), 0);
        QCOMPARE(CImageButton::ChooseFace(2, 2, true, false, false), 1);
        QCOMPARE(CImageButton::ChooseFace(2, 2, false, false, false), 2);
        QCOMPARE(CImageButton::ChooseFace(2, 2, true, true, false), 3);
        QCOMPARE(CImageButton::ChooseFace(2, 1, false, true, false), 2);
        QCOMPARE(CImageButton::ChooseFace(2, 3, false, false, false), 0);
    }

    void aFaceBitmapGivesTheButtonItsSizeAndItsBottomFace()
    {
        // 40 x 100: five faces of 40 x 20, each a distinct grey; the normal face is the
        // bottom one (y 80).
        BmpShape shape{40, 100, 24};
        QByteArray bytes = MakeBmp(shape);
        for (int y = 0; y < 100; ++y) {
            const char shade = char(10 + (y / 20) * 40);
            // rows are bottom-up: file row r is image row 99 - r
            const int offset = 54 + (99 - y) * 120;
            for (int i = 0; i < 120; ++i)
                bytes[offset + i] = shade;
        }
        QDir(m_dir.path()).mkpath("ui");
        WriteFile(file("ui/face.bmp"), bytes);
        SetSkinFolder(m_dir.path().toStdString());
        CImageButton button;
        QVERIFY(button.LoadFaces("face.bmp"));
        SetSkinFolder(BuildDataFolder());
        QCOMPARE(button.size(), QSize(40, 20));
        const QImage shown = button.grab().toImage();
        QCOMPARE(button.LastFace(), 4);
        QCOMPARE(shown.pixelColor(5, 5).red(), 10 + 4 * 40);
        button.setEnabled(false);
        button.grab();
        QCOMPARE(button.LastFace(), 0);
    }

    void twoStateButtonFlipsAndComesBackEnabledInStateOne()
    {
        CImageButton play;
        play.LoadFaces("m_panel/btn/play.bmp");
        QVERIFY(play.HasFaces());
        play.SetKind(CImageButton::kTwoState);
        play.SetTooltip(1, "Play");
        play.SetTooltip(2, "Pause the playback");
        QSignalSpy clicks(&play, &CImageButton::stateClicked);
        play.click();
        QCOMPARE(play.GetState(), 2);
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(clicks[0][0].toInt(), 2);
        QCOMPARE(play.toolTip(), QString("Pause the playback"));
        play.setEnabled(false);
        QCOMPARE(play.GetState(), CImageButton::kDisabledState);
        play.setEnabled(true);
        QCOMPARE(play.GetState(), 1);
        QCOMPARE(play.toolTip(), QString("Play"));
    }

    void aMissingOrDamagedFaceFileDrawsAPlainFaceAndIsLogged()
    {
        m_logged.clear();
        CImageButton button;
        QVERIFY(!button.LoadFaces("m_panel/btn/no_such.bmp", QSize(50, 30)));
        QCOMPARE(button.size(), QSize(50, 30));
        button.setText("Stop");
        const QImage shown = button.grab().toImage(); // draws without a crash
        QCOMPARE(shown.size(), QSize(50, 30));
        QCOMPARE(m_logged.size(), std::size_t(1));
        QVERIFY(m_logged[0].find("no_such.bmp") != std::string::npos);
    }

    void sliderTimeTexts()
    {
        QCOMPARE(NavigatorTimeText(1), QString("00:00.00"));
        QCOMPARE(NavigatorTimeText(6000), QString("00:59.99"));
        QCOMPARE(NavigatorTimeText(360001), QString("01:00:00"));
        QCOMPARE(NavigatorTimeText(360000), QString("59:59.99"));
    }

    void sliderScaleClampsAndSteps()
    {
        CNavigator nav;
        QVERIFY(nav.IsSkinned());
        nav.resize(500, nav.sizeHint().height());
        // Range 1: the thumb at the track start.
        QCOMPARE(nav.GetRange(), 1u);
        QCOMPARE(nav.ThumbX(), nav.TrackStart());
        nav.SetRange(6000);
        nav.SetPos(0);
        QCOMPARE(nav.GetPos(), 1u);
        QCOMPARE(nav.ThumbX(), nav.TrackStart());
        nav.SetPos(7000);
        QCOMPARE(nav.GetPos(), 6000u);
        QCOMPARE(nav.ThumbX(), nav.TrackEnd());
        nav.SetPos(3000);
        QVERIFY(nav.ThumbX() > nav.TrackStart() && nav.ThumbX() < nav.TrackEnd());
        // Stepping back at the start stays there and still tells the owner.
        nav.SetPos(1);
        QSignalSpy moved(&nav, &CNavigator::userMoved);
        press(nav, nav.PartRect(CNavigator::StepBack).center());
        QCOMPARE(nav.GetPos(), 1u);
        QCOMPARE(moved.size(), 1);
        QCOMPARE(nav.PartState(CNavigator::StepBack), 3);
        QTest::mouseRelease(&nav, Qt::LeftButton, {}, nav.PartRect(CNavigator::StepBack).center());
        QCOMPARE(nav.PartState(CNavigator::StepBack), 2);
        press(nav, nav.PartRect(CNavigator::StepForward).center());
        QCOMPARE(nav.GetPos(), 2u);
        QTest::mouseRelease(&nav, Qt::LeftButton, {}, QPoint(1, 1));
        QCOMPARE(nav.PartState(CNavigator::StepForward), 1);
    }

    void draggingTheThumbPastEitherEndClamps()
    {
        CNavigator nav;
        nav.resize(500, nav.sizeHint().height());
        nav.SetRange(6000);
        nav.SetPos(3000);
        QSignalSpy moved(&nav, &CNavigator::userMoved);
        const QPoint grip = nav.PartRect(CNavigator::Thumb).center();
        press(nav, grip);
        drag(nav, QPoint(-40, grip.y()));
        QCOMPARE(nav.GetPos(), 1u);
        drag(nav, QPoint(nav.width() + 40, grip.y()));
        QCOMPARE(nav.GetPos(), 6000u);
        QTest::mouseRelease(&nav, Qt::LeftButton, {}, QPoint(nav.width() + 40, grip.y()));
        QCOMPARE(moved.size(), 2);
        // A plain press without a move does not move the thumb.
        press(nav, nav.PartRect(CNavigator::Thumb).center());
        QCOMPARE(nav.GetPos(), 6000u);
    }

    void aSliderWithoutItsSkinStillWorks()
    {
        SetSkinFolder(m_dir.path().toStdString() + "/nowhere");
        CNavigator nav;
        SetSkinFolder(BuildDataFolder());
        QVERIFY(!nav.IsSkinned());
        nav.resize(400, nav.sizeHint().height());
        nav.SetRange(100);
        nav.SetWaveform({0.2f, 0.9f, 0.4f});
        nav.SetPos(50);
        QVERIFY(!nav.grab().isNull());
        QCOMPARE(nav.GetPos(), 50u);
    }
};

QTEST_MAIN(SkinTest)
#include "skin_test.moc"
