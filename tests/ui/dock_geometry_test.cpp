// The docking arithmetic and the panel's first position, as pure functions.
#include <QTest>

#include "ui/dock_geometry.h"

using namespace tw;

namespace {

constexpr DockRect kWork{0, 0, 1280, 800};
constexpr int kPanel = 120;

} // namespace

class DockGeometryTest : public QObject
{
    Q_OBJECT

private slots:
    void aWindowThatLeavesRoomStaysAndThePanelHangsUnderIt()
    {
        const DockPlacement p = DockUnderSkype({200, 100, 600, 500}, kWork, kPanel);
        QVERIFY(!p.skypeMoved);
        QCOMPARE(p.skype, (DockRect{200, 100, 600, 500}));
        QCOMPARE(p.panel, (DockPoint{200, 500}));
    }

    void negativeLeftAndTopAreShiftedOntoTheScreen()
    {
        const DockPlacement p = DockUnderSkype({-30, -10, 370, 390}, kWork, kPanel);
        QVERIFY(p.skypeMoved);
        QCOMPARE(p.skype, (DockRect{0, 0, 400, 400}));
        QCOMPARE(p.panel, (DockPoint{0, 400}));
    }

    void aWindowPastTheRightEdgeIsPulledInOrCutBack()
    {
        // Left edge larger than the excess: shifted left by it.
        DockPlacement p = DockUnderSkype({1000, 100, 1400, 500}, kWork, kPanel);
        QCOMPARE(p.skype, (DockRect{880, 100, 1280, 500}));
        // Wider than the work area from near the left: the right edge is cut back.
        p = DockUnderSkype({50, 100, 1400, 500}, kWork, kPanel);
        QCOMPARE(p.skype, (DockRect{50, 100, 1280, 500}));
        QVERIFY(p.skypeMoved);
    }

    void aBottomWithinOnePanelHeightIsLiftedOrShortened()
    {
        // Bottom 750: 70 pixels short of room; the top (300) allows a lift by 120 - 50 = 70.
        DockPlacement p = DockUnderSkype({100, 300, 500, 750}, kWork, kPanel);
        QCOMPARE(p.skype, (DockRect{100, 230, 500, 680}));
        QCOMPARE(p.panel, (DockPoint{100, 680}));
        // A tall window near the top cannot be lifted: its bottom comes up instead.
        p = DockUnderSkype({100, 20, 500, 790}, kWork, kPanel);
        QCOMPARE(p.skype, (DockRect{100, 20, 500, 680}));
        QCOMPARE(p.panel.y + kPanel, kWork.bottom);
        // Exactly one panel height left: nothing moves.
        p = DockUnderSkype({100, 20, 500, 680}, kWork, kPanel);
        QVERIFY(!p.skypeMoved);
    }

    void aWindowBelowTheWorkAreaIsBroughtBack()
    {
        // Bottom past the work area: lifted by the panel height plus the overhang.
        const DockPlacement p = DockUnderSkype({100, 500, 500, 900}, kWork, kPanel);
        QCOMPARE(p.skype, (DockRect{100, 280, 500, 680}));
    }

    void theStoredPositionCentresOnlyWhenBothAreMinusOne()
    {
        QCOMPARE(InitialPanelPosition(-1, -1, 1280, 800, 296, 120), (DockPoint{492, 340}));
        QCOMPARE(InitialPanelPosition(-1, 0, 1280, 800, 296, 120), (DockPoint{0, 0}));
        QCOMPARE(InitialPanelPosition(0, -1, 1280, 800, 296, 120), (DockPoint{0, 0}));
        QCOMPARE(InitialPanelPosition(-5, -7, 1280, 800, 296, 120), (DockPoint{0, 0}));
        QCOMPARE(InitialPanelPosition(100, 200, 1280, 800, 296, 120), (DockPoint{100, 200}));
        // Past the right or bottom edge: moved in to end at it.
        QCOMPARE(InitialPanelPosition(1200, 790, 1280, 800, 296, 120), (DockPoint{984, 680}));
    }
};

QTEST_MAIN(DockGeometryTest)
#include "dock_geometry_test.moc"
