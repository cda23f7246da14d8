// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Measuring on the window's graphs, over an opened file of ramps: the Measure
// action, values under the mouse, cursors and their readout, the keys, and
// the wheel, drag and double click turning the window's own inputs.
#include "mainwindow_testing.h"

#include "csvwriter.h"
#include "cursorreadout.h"
#include "measurecontroller.h"
#include "measurestatistics.h"

#include <QDial>
#include <QDockWidget>
#include <QMenu>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolBar>

#include <cmath>

using namespace testing;

namespace {

constexpr quint64 SAMPLES = 20 * 833; // 20 s: a scrollable history at 5 s

float accelValue(quint64 i, int axis)
{
    return float(int(i % 2000) - 1000 + axis) / 1000.0f;
}

float gyroValue(quint64 i, int axis)
{
    return float(int(i % 997) - 400 - axis) / 4.0f;
}

float valueOf(quint64 i, int row)
{
    return row < 3 ? accelValue(i, row) : gyroValue(i, row - 3);
}

QString writeRamps(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("ramps.csv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    CsvWriter csv(&file);
    CsvWriter::SHeader header;
    header.date = QDateTime(QDate(2026, 12, 6), QTime(19, 30));
    header.serialNumber = QStringLiteral("SKV-000003");
    header.firmware = 0x0102;
    const QString plusMinus(QChar(0xB1));
    header.settings = {{"Acceleration range", plusMinus + "2 g"},
                       {"Gyro range", plusMinus + "245 dps"},
                       {"Accel filter", "LP1 only"},
                       {"Accel cutoff", "416.5 Hz"},
                       {"Accel low latency", "No"},
                       {"Gyro high pass", "Off"}};
    header.sampleRate = 833.0;
    csv.writeHeader(header);
    std::vector<float> accel;
    std::vector<float> gyro;
    for (quint64 i = 0; i < SAMPLES; ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            accel.push_back(accelValue(i, axis));
            gyro.push_back(gyroValue(i, axis));
        }
    }
    csv.writeFrames(accel, gyro, 0, 833.0);
    return csv.flush() ? path : QString();
}

// A shown window with the ramps opened: stopped, 5 s of 20 s at the newest.
struct OpenedFixture
{
    explicit OpenedFixture(const QString& path) : parts(window)
    {
        window.resize(1280, 800);
        window.show();
        exposed = QTest::qWaitForWindowExposed(&window) && window.openMeasurement(path);
        measure = window.findChild<QAction*>(QStringLiteral("actionMeasure"));
    }

    QSpinBox* spin() const { return parts.widget<QSpinBox>("spin_time"); }
    QScrollBar* scroll() const { return parts.widget<QScrollBar>("scroll_horz_graph"); }
    QDial* dial(const char* name) const { return parts.widget<QDial>(name); }
    CursorReadout* readout() const { return parts.widget<CursorReadout>("cursorReadout"); }
    // The widget position of a fraction of the inner plot's width, mid-height.
    static QPointF at(const CLiveGraph* graph, double fraction)
    {
        const QRect inner = graph->plotRect().adjusted(1, 1, -1, -1);
        return QPointF(inner.left() + fraction * (inner.right() - inner.left()),
                       inner.center().y());
    }

    MainWindow window;
    WindowParts parts;
    QAction* measure = nullptr;
    bool exposed = false;
};

void send(QWidget* target, QEvent::Type type, QPointF pos, Qt::MouseButton button,
          Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, modifiers);
    QApplication::sendEvent(target, &event);
}

void click(QWidget* target, QPointF pos, Qt::MouseButton button = Qt::LeftButton)
{
    send(target, QEvent::MouseButtonPress, pos, button, button);
    send(target, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

void drag(QWidget* target, QPointF from, QPointF to, Qt::MouseButton button)
{
    send(target, QEvent::MouseButtonPress, from, button, button);
    send(target, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, button);
    send(target, QEvent::MouseMove, to, Qt::NoButton, button);
    send(target, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

void doubleClick(QWidget* target, QPointF pos)
{
    click(target, pos);
    send(target, QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::LeftButton);
    send(target, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}

void wheel(QWidget* target, QPointF pos, int delta, Qt::KeyboardModifiers modifiers = {})
{
    QWheelEvent event(pos, target->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

void key(QWidget* target, int code, Qt::KeyboardModifiers modifiers = {})
{
    QKeyEvent event(QEvent::KeyPress, code, modifiers);
    QApplication::sendEvent(target, &event);
}

QString number(double value, int row)
{
    return QString::number(value, 'f', row < 3 ? 4 : 2);
}

} // namespace

class tst_MainWindowCursors : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void steppedTimeWindow_data();
    void steppedTimeWindow();
    void measureActionOffByDefault();
    void hoverReadsTheNearestSample_data();
    void hoverReadsTheNearestSample();
    void cursorReadout_data();
    void cursorReadout();
    void laterClicksMoveTheNearerCursor();
    void draggingACursor();
    void keysMoveTheLastCursor();
    void cursorLeavingTheHistoryGoes();
    void wheelTurnsTheInputs_data();
    void wheelTurnsTheInputs();
    void dragScrollsLikeTheScrollBar_data();
    void dragScrollsLikeTheScrollBar();
    void doubleClickRestoresTheDefaultView();
    void doubleClickOnLegendTogglesTwice();

private:
    QTemporaryDir m_dir;
    QString m_ramps;
};

void tst_MainWindowCursors::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(m_dir.isValid());
    m_ramps = writeRamps(m_dir);
    QVERIFY(!m_ramps.isEmpty());
}

void tst_MainWindowCursors::init()
{
    hidsim::reset();
}

void tst_MainWindowCursors::steppedTimeWindow_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("expected");

    QTest::newRow("5 shorter") << 5 << -1 << 2;
    QTest::newRow("5 longer") << 5 << 1 << 10;
    QTest::newRow("5 two longer") << 5 << 2 << 20;
    QTest::newRow("1 shorter stays") << 1 << -1 << 1;
    QTest::newRow("300 longer stays") << 300 << 1 << 300;
    QTest::newRow("200 longer") << 200 << 1 << 300;
    QTest::newRow("7 shorter") << 7 << -1 << 5;
    QTest::newRow("7 longer") << 7 << 1 << 10;
    QTest::newRow("250 longer") << 250 << 1 << 300;
    QTest::newRow("3 far shorter") << 3 << -5 << 1;
}

void tst_MainWindowCursors::steppedTimeWindow()
{
    QFETCH(int, seconds);
    QFETCH(int, steps);
    QFETCH(int, expected);
    QCOMPARE(MeasureController::steppedTimeWindow(seconds, steps), expected);
}

void tst_MainWindowCursors::measureActionOffByDefault()
{
    MainWindow window;
    WindowParts parts(window);
    QAction* measure = parts.action("actionMeasure");
    QVERIFY(measure->isCheckable());
    QVERIFY(!measure->isChecked());
    QCOMPARE(measure->text(), QStringLiteral("Measure"));
    QCOMPARE(measure->shortcut(), QKeySequence(Qt::Key_M));
    QVERIFY(parts.widget<QMenu>("menuView")->actions().contains(measure));
    QVERIFY(parts.widget<QToolBar>("toolBar")->actions().contains(measure));
    QVERIFY(!parts.accel()->measureMode());
    QVERIFY(parts.widget<QDockWidget>("dock_cursors")->isHidden());

    measure->trigger();
    QVERIFY(parts.accel()->measureMode() && parts.gyro()->measureMode());
    QVERIFY(!parts.widget<QDockWidget>("dock_cursors")->isHidden());
    measure->trigger();
    QVERIFY(!parts.accel()->measureMode() && !parts.gyro()->measureMode());
    QVERIFY(parts.widget<QDockWidget>("dock_cursors")->isHidden());
}

void tst_MainWindowCursors::hoverReadsTheNearestSample_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("scroll"); // -1: as opened, at the newest
    QTest::addColumn<double>("fraction");
    QTest::addColumn<quint64>("expected");

    // 5 s (4165 samples) at the newest of 16660.
    QTest::newRow("left edge") << 5 << -1 << 0.0 << quint64(SAMPLES - 4165);
    QTest::newRow("right edge") << 5 << -1 << 1.0 << quint64(SAMPLES - 1);
    QTest::newRow("middle") << 5 << -1 << 0.5 << quint64(SAMPLES - 4165 + 2083);
    QTest::newRow("scrolled to the start") << 5 << 0 << 0.0 << quint64(0);
    QTest::newRow("scrolled, quarter") << 5 << 1000 << 0.25 << quint64(1000 + 1041);
    // 20 s over about 1200 columns: a decimated window, one sample read.
    QTest::newRow("decimated, whole file") << 20 << -1 << 0.75 << quint64(12495);
    QTest::newRow("decimated, right edge") << 20 << -1 << 1.0 << quint64(SAMPLES - 1);
}

void tst_MainWindowCursors::hoverReadsTheNearestSample()
{
    QFETCH(int, seconds);
    QFETCH(int, scroll);
    QFETCH(double, fraction);
    QFETCH(quint64, expected);

    OpenedFixture f(m_ramps);
    QVERIFY(f.exposed);
    f.spin()->setValue(seconds);
    if (scroll >= 0)
        f.scroll()->setValue(scroll);
    f.measure->trigger();

    CLiveGraph* accel = f.parts.accel();
    CLiveGraph* gyro = f.parts.gyro();
    send(accel, QEvent::MouseMove, OpenedFixture::at(accel, fraction), Qt::NoButton, Qt::NoButton);
    QVERIFY(std::abs(accel->hoverFraction() - fraction) < 1e-9);
    // One moment in both graphs.
    QCOMPARE(gyro->hoverFraction(), accel->hoverFraction());
    const QString time = QString::number(double(expected) / 833.0, 'f', 4) + " s";
    QCOMPARE(accel->hoverTexts(),
             QStringList({time, "X " + number(accelValue(expected, 0), 0) + " g",
                          "Y " + number(accelValue(expected, 1), 1) + " g",
                          "Z " + number(accelValue(expected, 2), 2) + " g"}));
    QCOMPARE(gyro->hoverTexts(),
             QStringList({time, "rX " + number(gyroValue(expected, 0), 3) + " dps",
                          "rY " + number(gyroValue(expected, 1), 4) + " dps",
                          "rZ " + number(gyroValue(expected, 2), 5) + " dps"}));

    // Out of the plot area the line and readout go.
    send(accel, QEvent::MouseMove, QPointF(2, 2), Qt::NoButton, Qt::NoButton);
    QVERIFY(accel->hoverTexts().isEmpty() && gyro->hoverTexts().isEmpty());
}

void tst_MainWindowCursors::cursorReadout_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<double>("fractionA");
    QTest::addColumn<double>("fractionB");

    QTest::newRow("A left of B") << 5 << 0.2 << 0.7;
    QTest::newRow("B left of A") << 5 << 0.9 << 0.1;
    QTest::newRow("both ends") << 5 << 0.0 << 1.0;
    QTest::newRow("decimated, whole file") << 20 << 0.05 << 0.95;
    QTest::newRow("1 s window, 10 samples apart") << 1 << 0.5 << 0.5 + 10.0 / 833.0;
}

void tst_MainWindowCursors::cursorReadout()
{
    QFETCH(int, seconds);
    QFETCH(double, fractionA);
    QFETCH(double, fractionB);

    OpenedFixture f(m_ramps);
    QVERIFY(f.exposed);
    f.spin()->setValue(seconds);
    f.measure->trigger();
    CLiveGraph* accel = f.parts.accel();
    quint64 a = 0;
    quint64 b = 0;
    QVERIFY(accel->nearestStoredIndex(fractionA, a));
    QVERIFY(accel->nearestStoredIndex(fractionB, b));
    click(accel, OpenedFixture::at(accel, fractionA));
    click(f.parts.gyro(), OpenedFixture::at(f.parts.gyro(), fractionB));
    QCOMPARE(accel->cursorA(), a);
    QCOMPARE(accel->cursorB(), b);
    QCOMPARE(f.parts.gyro()->cursorA(), a);
    QCOMPARE(f.parts.gyro()->cursorB(), b);

    const double dt = (double(b) - double(a)) / 833.0;
    const quint64 lo = std::min(a, b);
    const quint64 hi = std::max(a, b);
    QString interval = QStringLiteral("A %1 s\nB %2 s\n\u0394t %3 s\n")
                           .arg(double(a) / 833.0, 0, 'f', 4)
                           .arg(double(b) / 833.0, 0, 'f', 4)
                           .arg(dt, 0, 'f', 4);
    interval +=
        QStringLiteral("1/\u0394t %1 Hz\nn %2").arg(1.0 / std::abs(dt), 0, 'f', 4).arg(hi - lo + 1);
    QCOMPARE(f.readout()->intervalText(), interval);

    for (int row = 0; row < 6; ++row) {
        std::vector<double> stretch;
        for (quint64 i = lo; i <= hi; ++i)
            stretch.push_back(double(valueOf(i, row)));
        double sum = 0.0;
        double squares = 0.0;
        for (double v : stretch) {
            sum += v;
            squares += v * v;
        }
        const double lowest = *std::min_element(stretch.begin(), stretch.end());
        const double highest = *std::max_element(stretch.begin(), stretch.end());
        const double n = double(stretch.size());
        QCOMPARE(f.readout()->cell(row, CursorReadout::AtA), number(valueOf(a, row), row));
        QCOMPARE(f.readout()->cell(row, CursorReadout::AtB), number(valueOf(b, row), row));
        QCOMPARE(f.readout()->cell(row, CursorReadout::Difference),
                 number(double(valueOf(b, row)) - double(valueOf(a, row)), row));
        QCOMPARE(f.readout()->cell(row, CursorReadout::Minimum), number(lowest, row));
        QCOMPARE(f.readout()->cell(row, CursorReadout::Maximum), number(highest, row));
        QCOMPARE(f.readout()->cell(row, CursorReadout::PeakToPeak), number(highest - lowest, row));
        QCOMPARE(f.readout()->cell(row, CursorReadout::Mean), number(sum / n, row));
        QCOMPARE(f.readout()->cell(row, CursorReadout::Rms), number(std::sqrt(squares / n), row));
    }

    // Escape takes both away.
    key(accel, Qt::Key_Escape);
    QCOMPARE(accel->cursorA(), CLiveGraph::NO_CURSOR);
    QCOMPARE(accel->cursorB(), CLiveGraph::NO_CURSOR);
    QVERIFY(f.readout()->cell(0, CursorReadout::AtA).isEmpty());
}

void tst_MainWindowCursors::laterClicksMoveTheNearerCursor()
{
    OpenedFixture f(m_ramps);
    QVERIFY(f.exposed);
    f.measure->trigger();
    CLiveGraph* accel = f.parts.accel();
    click(accel, OpenedFixture::at(accel, 0.2));
    click(accel, OpenedFixture::at(accel, 0.8));
    const quint64 b = accel->cursorB();
    quint64 expected = 0;
    QVERIFY(accel->nearestStoredIndex(0.3, expected));
    click(accel, OpenedFixture::at(accel, 0.3));
    QCOMPARE(accel->cursorA(), expected);
    QCOMPARE(accel->cursorB(), b);
    QVERIFY(accel->nearestStoredIndex(0.6, expected));
    click(accel, OpenedFixture::at(accel, 0.6));
    QCOMPARE(accel->cursorB(), expected);

    // A legend click still toggles its series and places nothing.
    const quint64 a = accel->cursorA();
    QImage unused(accel->size(), QImage::Format_RGB32);
    accel->render(&unused);
    const QRect plot = accel->plotRect();
    const QPoint entry(plot.right() - 3, plot.top() - accel->fontMetrics().height() / 2 - 6);
    QCOMPARE(accel->legendEntryAt(entry), 2);
    click(accel, entry);
    QVERIFY(!accel->isSeriesVisible(2));
    QCOMPARE(accel->cursorA(), a);
    QCOMPARE(accel->cursorB(), expected);
}

void tst_MainWindowCursors::draggingACursor()
{
    OpenedFixture f(m_ramps);
    QVERIFY(f.exposed);
    f.measure->trigger();
    CLiveGraph* accel = f.parts.accel();
    click(accel, OpenedFixture::at(accel, 0.2));
    click(accel, OpenedFixture::at(accel, 0.8));
    const quint64 a = accel->cursorA();
    const QPointF onA = OpenedFixture::at(accel, accel->fractionOfIndex(a)) + QPointF(2, 0);
    drag(accel, onA, OpenedFixture::at(accel, 0.5), Qt::LeftButton);
    quint64 expected = 0;
    QVERIFY(accel->nearestStoredIndex(0.5, expected));
    QCOMPARE(accel->cursorA(), expected);
    QCOMPARE(f.scroll()->value(), f.scroll()->maximum()); // the view stayed
}

void tst_MainWindowCursors::keysMoveTheLastCursor()
{
    OpenedFixture f(m_ramps);
    QVERIFY(f.exposed);
    CLiveGraph* accel = f.parts.accel();
    key(accel, Qt::Key_Left); // measure mode off: nothing to move, nothing happens
    f.measure->trigger();
    QCOMPARE(accel->focusPolicy(), Qt::ClickFocus);
    click(accel, OpenedFixture::at(accel, 0.2));
    const quint64 a = accel->cursorA();
    key(accel, Qt::Key_Right);
    QCOMPARE(accel->cursorA(), a + 1);
    click(accel, OpenedFixture::at(accel, 0.8));
    const quint64 b = accel->cursorB();
    key(accel, Qt::Key_Left);
    key(accel, Qt::Key_Left);
    QCOMPARE(accel->cursorB(), b - 2);
    QCOMPARE(accel->cursorA(), a + 1);
    // One pixel column: 4165 samples over the inner plot's width.
    const quint64 column = quint64(std::lround(accel->samplesPerColumn()));
    QVERIFY(column > 1);
    key(accel, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(accel->cursorB(), b - 2 + column);
    // Held at the newest stored sample.
    for (int i = 0; i < 5000; ++i)
        key(accel, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(accel->cursorB(), SAMPLES - 1);
    QCOMPARE(f.readout()->cell(0, CursorReadout::AtB), number(accelValue(SAMPLES - 1, 0), 0));
    f.measure->trigger();
    QCOMPARE(accel->focusPolicy(), Qt::NoFocus);
    QCOMPARE(accel->cursorA(), CLiveGraph::NO_CURSOR);
}

void tst_MainWindowCursors::cursorLeavingTheHistoryGoes()
{
    OpenedFixture f(m_ramps);
    QVERIFY(f.exposed);
    f.spin()->setValue(20);
    f.measure->trigger();
    CLiveGraph* accel = f.parts.accel();
    click(accel, OpenedFixture::at(accel, 0.0));
    click(accel, OpenedFixture::at(accel, 1.0));
    QCOMPARE(accel->cursorA(), quint64(0));
    // The history moves on by just enough to lose the first sample.
    const quint64 room = accel->maxSampleCount() - accel->storedSampleCount() + 1;
    const std::vector<float> frames(std::size_t(room) * 3, 0.0f);
    accel->appendSamples(frames);
    QCOMPARE(accel->cursorA(), quint64(0)); // both graphs take the batch first
    f.parts.gyro()->appendSamples(frames);
    QCOMPARE(accel->cursorA(), CLiveGraph::NO_CURSOR);
    QCOMPARE(accel->cursorB(), SAMPLES - 1);
    QVERIFY(f.readout()->cell(0, CursorReadout::AtA).isEmpty());
    QCOMPARE(f.readout()->cell(0, CursorReadout::AtB), number(accelValue(SAMPLES - 1, 0), 0));

    // A new measurement takes the rest.
    accel->clear();
    QCOMPARE(accel->cursorB(), CLiveGraph::NO_CURSOR);
}

void tst_MainWindowCursors::wheelTurnsTheInputs_data()
{
    QTest::addColumn<bool>("measureMode");
    QTest::addColumn<bool>("onGyro");
    QTest::addColumn<int>("delta");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<double>("fraction");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("dial");
    QTest::addColumn<int>("dialValue");

    const int none = Qt::NoModifier;
    QTest::newRow("up: shorter window") << false << false << 120 << none << 0.5 << 2 << "" << 0;
    QTest::newRow("down: longer window") << false << false << -120 << none << 0.5 << 10 << "" << 0;
    QTest::newRow("two notches at the left")
        << false << true << -240 << none << 0.1 << 20 << "" << 0;
    QTest::newRow("half notches add up") << true << false << 60 << none << 0.9 << 2 << "" << 0;
    QTest::newRow("measure mode, up at the right")
        << true << true << 120 << none << 0.95 << 2 << "" << 0;
    QTest::newRow("ctrl: accel zoom dial")
        << false << false << 120 << int(Qt::ControlModifier) << 0.5 << 5 << "dial_acc_y" << 2;
    QTest::newRow("ctrl: gyro zoom dial, down at the minimum")
        << false << true << -120 << int(Qt::ControlModifier) << 0.5 << 5 << "dial_gyro_y" << 1;
    QTest::newRow("shift: accel shift dial")
        << true << false << 240 << int(Qt::ShiftModifier) << 0.5 << 5 << "dial_acc_move_y" << 2;
    QTest::newRow("shift: gyro shift dial")
        << false << true << -120 << int(Qt::ShiftModifier) << 0.5 << 5 << "dial_gyro_move_y" << -1;
}

void tst_MainWindowCursors::wheelTurnsTheInputs()
{
    QFETCH(bool, measureMode);
    QFETCH(bool, onGyro);
    QFETCH(int, delta);
    QFETCH(int, modifiers);
    QFETCH(double, fraction);
    QFETCH(int, seconds);
    QFETCH(QString, dial);
    QFETCH(int, dialValue);

    OpenedFixture f(m_ramps);
    QVERIFY(f.exposed);
    f.scroll()->setValue(f.scroll()->maximum() / 2); // room on both sides
    if (measureMode)
        f.measure->trigger();
    CLiveGraph* graph = onGyro ? f.parts.gyro() : f.parts.accel();
    const double before = graph->positionAtFraction(fraction);
    wheel(graph, OpenedFixture::at(graph, fraction), delta, Qt::KeyboardModifiers(modifiers));
    if (delta == 60) // the rest of the notch
        wheel(graph, OpenedFixture::at(graph, fraction), delta);

    QCOMPARE(f.spin()->value(), seconds);
    if (!dial.isEmpty())
        QCOMPARE(f.dial(qPrintable(dial))->value(), dialValue);
    // The moment under the mouse stays there while the history lets it.
    if (seconds != 5 && f.scroll()->isEnabled())
        QVERIFY2(std::abs(graph->positionAtFraction(fraction) - before) <= 0.5,
                 qPrintable(QString::number(graph->positionAtFraction(fraction) - before)));

    // The same inputs turned by hand give the same pictures.
    OpenedFixture g(m_ramps);
    QVERIFY(g.exposed);
    g.spin()->setValue(f.spin()->value());
    g.scroll()->setValue(f.scroll()->value());
    for (const char* name : {"dial_acc_y", "dial_gyro_y", "dial_acc_move_y", "dial_gyro_move_y"})
        g.dial(name)->setValue(f.dial(name)->value());
    if (measureMode) // the same docks, the same sizes
        g.measure->trigger();
    QCOMPARE(g.parts.accel()->firstVisibleIndex(), f.parts.accel()->firstVisibleIndex());
    QCOMPARE(g.parts.accel()->grab().toImage(), f.parts.accel()->grab().toImage());
    QCOMPARE(g.parts.gyro()->grab().toImage(), f.parts.gyro()->grab().toImage());
}

void tst_MainWindowCursors::dragScrollsLikeTheScrollBar_data()
{
    QTest::addColumn<bool>("measureMode");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<bool>("scrolls");

    QTest::newRow("left, to the right: back in time")
        << false << int(Qt::LeftButton) << 200 << true;
    QTest::newRow("left, to the left: forward") << false << int(Qt::LeftButton) << -150 << true;
    QTest::newRow("left in measure mode places cursors")
        << true << int(Qt::LeftButton) << 200 << false;
    QTest::newRow("middle in measure mode") << true << int(Qt::MiddleButton) << 300 << true;
    QTest::newRow("middle with measure mode off") << false << int(Qt::MiddleButton) << 300 << false;
}

void tst_MainWindowCursors::dragScrollsLikeTheScrollBar()
{
    QFETCH(bool, measureMode);
    QFETCH(int, button);
    QFETCH(int, pixels);
    QFETCH(bool, scrolls);

    OpenedFixture f(m_ramps);
    QVERIFY(f.exposed);
    const int start = f.scroll()->maximum() / 2;
    f.scroll()->setValue(start);
    if (measureMode)
        f.measure->trigger();
    CLiveGraph* accel = f.parts.accel();
    const QPointF from = OpenedFixture::at(accel, 0.5);
    drag(accel, from, from + QPointF(pixels, 0), Qt::MouseButton(button));
    const int expected =
        scrolls ? start - int(std::llround(pixels * accel->samplesPerColumn())) : start;
    QCOMPARE(f.scroll()->value(), expected);
    QCOMPARE(accel->firstVisibleIndex(), quint64(expected));
    QCOMPARE(f.parts.gyro()->firstVisibleIndex(), quint64(expected));
}

void tst_MainWindowCursors::doubleClickRestoresTheDefaultView()
{
    OpenedFixture f(m_ramps);
    QVERIFY(f.exposed);
    f.spin()->setValue(10);
    f.scroll()->setValue(100);
    f.dial("dial_acc_y")->setValue(4);
    f.dial("dial_gyro_move_y")->setValue(-30);
    doubleClick(f.parts.gyro(), OpenedFixture::at(f.parts.gyro(), 0.3));
    QCOMPARE(f.spin()->value(), 5);
    QCOMPARE(f.scroll()->value(), f.scroll()->maximum());
    QCOMPARE(f.dial("dial_acc_y")->value(), 1);
    QCOMPARE(f.dial("dial_gyro_move_y")->value(), 0);
    QCOMPARE(f.parts.accel()->firstVisibleIndex(), SAMPLES - 4165);
}

void tst_MainWindowCursors::doubleClickOnLegendTogglesTwice()
{
    OpenedFixture f(m_ramps);
    QVERIFY(f.exposed);
    f.spin()->setValue(10);
    CLiveGraph* accel = f.parts.accel();
    QImage unused(accel->size(), QImage::Format_RGB32);
    accel->render(&unused);
    const QRect plot = accel->plotRect();
    const QPoint entry(plot.right() - 3, plot.top() - accel->fontMetrics().height() / 2 - 6);
    QCOMPARE(accel->legendEntryAt(entry), 2);
    send(accel, QEvent::MouseButtonPress, entry, Qt::LeftButton, Qt::LeftButton);
    QVERIFY(!accel->isSeriesVisible(2));
    send(accel, QEvent::MouseButtonRelease, entry, Qt::LeftButton, Qt::NoButton);
    send(accel, QEvent::MouseButtonDblClick, entry, Qt::LeftButton, Qt::LeftButton);
    send(accel, QEvent::MouseButtonRelease, entry, Qt::LeftButton, Qt::NoButton);
    QVERIFY(accel->isSeriesVisible(2));
    QCOMPARE(f.spin()->value(), 10); // no default view from there
}

QTEST_MAIN(tst_MainWindowCursors)
#include "tst_mainwindow_cursors.moc"
