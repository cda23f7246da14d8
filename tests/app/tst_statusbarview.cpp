// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The status bar as it changes while the window is shown: it must look
// exactly like a status bar built in its final state, and a refresh that only
// changes the sample count must repaint that count and nothing else.
#include "statusbarview.h"

#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPaintEvent>
#include <QStatusBar>
#include <QTest>

#include <map>

namespace {

struct SStatus
{
    bool connected = true;
    bool openedFile = false;
    QString recording;
    bool measuring = true;
    qint64 durationMs = 12000;
    quint64 stored = 9996;
    quint64 capacity = 249900;
};

void show(StatusBarView& view, const SStatus& status)
{
    view.showConnection(status.connected, QStringLiteral("SKV-000117"), 0x0102);
    if (status.openedFile)
        view.showOpenedFile(QStringLiteral("SKV-000042"), 0x0101);
    view.showRecording(status.recording, status.durationMs);
    view.showMeasurement(status.measuring, status.durationMs, status.stored, status.capacity);
}

// Layout requests travel one level per posted event.
void settle()
{
    for (int level = 0; level < 6; ++level)
        QCoreApplication::sendPostedEvents();
}

QList<QRect> geometries(const QStatusBar* bar)
{
    QList<QRect> rects;
    for (const QWidget* child : bar->findChildren<QWidget*>())
        rects.append(child->isVisible() ? QRect(child->mapTo(bar, QPoint(0, 0)), child->size())
                                        : QRect());
    return rects;
}

// The paints each widget of the status bar receives, as regions in the bar.
class CPaintLog : public QObject
{
public:
    explicit CPaintLog(QStatusBar* bar) : m_bar(bar)
    {
        bar->installEventFilter(this);
        for (QWidget* child : bar->findChildren<QWidget*>())
            child->installEventFilter(this);
    }
    std::map<QWidget*, QRegion> painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            auto* widget = static_cast<QWidget*>(watched);
            const QRegion region = static_cast<QPaintEvent*>(event)->region();
            painted[widget] += region.translated(widget->mapTo(m_bar, QPoint(0, 0)));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QStatusBar* m_bar;
};

} // namespace

Q_DECLARE_METATYPE(SStatus)

class tst_StatusBarView : public QObject
{
    Q_OBJECT

private slots:
    void changedLooksAsBuilt_data();
    void changedLooksAsBuilt();
    void countRefreshRepaintsOnlyTheCount();
};

void tst_StatusBarView::changedLooksAsBuilt_data()
{
    QTest::addColumn<SStatus>("status");
    QTest::addColumn<int>("width");

    const SStatus measuring;
    QTest::newRow("measuring") << measuring << 900;
    SStatus status = measuring;
    status.stored = 123456789012;
    status.capacity = 987654321098;
    QTest::newRow("count wider than its room") << status << 1200;
    QTest::newRow("count wider, narrow window") << status << 300;
    status = measuring;
    status.measuring = false;
    QTest::newRow("stopped") << status << 900;
    status.stored = 0;
    QTest::newRow("no samples") << status << 900;
    status = measuring;
    status.durationMs = 360000000;
    QTest::newRow("hundred hours") << status << 900;
    status = measuring;
    status.connected = false;
    status.measuring = false;
    QTest::newRow("disconnected") << status << 900;
    status.openedFile = true;
    QTest::newRow("opened file") << status << 900;
    status = measuring;
    status.recording = QStringLiteral("skarvel_2026-12-09_07-40-00.csv");
    QTest::newRow("recording") << status << 900;
    QTest::newRow("recording, narrow window") << status << 200;
    QTest::newRow("wide window") << measuring << 1600;
}

void tst_StatusBarView::changedLooksAsBuilt()
{
    QFETCH(SStatus, status);
    QFETCH(int, width);

    // Shown first, then taken through the states a measurement passes.
    QMainWindow changed;
    StatusBarView changedView;
    changedView.setup(&changed);
    changed.resize(width, 200);
    show(changedView, SStatus{});
    changed.show();
    QVERIFY(QTest::qWaitForWindowExposed(&changed));
    for (quint64 stored : {833ull, 8330ull, 99960ull}) {
        SStatus step;
        step.stored = stored;
        step.durationMs = qint64(stored) * 1000 / 833;
        show(changedView, step);
        settle();
    }
    show(changedView, status);
    settle();

    QMainWindow built;
    StatusBarView builtView;
    builtView.setup(&built);
    show(builtView, status);
    built.resize(width, 200);
    built.show();
    QVERIFY(QTest::qWaitForWindowExposed(&built));
    // The reference takes Qt's own way: every layout of the bar computed afresh.
    for (QBoxLayout* layout : built.statusBar()->findChildren<QBoxLayout*>())
        layout->QBoxLayout::invalidate();
    settle();

    QCOMPARE(changed.size(), built.size());
    QCOMPARE(geometries(changed.statusBar()), geometries(built.statusBar()));
    QCOMPARE(changed.statusBar()->grab().toImage(), built.statusBar()->grab().toImage());
}

void tst_StatusBarView::countRefreshRepaintsOnlyTheCount()
{
    QMainWindow window;
    StatusBarView view;
    view.setup(&window);
    window.resize(900, 200);
    SStatus status;
    show(view, status);
    CPaintLog log(window.statusBar());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* count = window.findChild<QLabel*>(QStringLiteral("lb_status_samples"));
    QTRY_VERIFY(!log.painted[count].isEmpty());
    settle();
    log.painted.clear();

    status.stored += 42;
    show(view, status);
    settle();
    QTRY_VERIFY(!log.painted[count].isEmpty());

    const QRect countRect(count->mapTo(window.statusBar(), QPoint(0, 0)), count->size());
    for (const auto& [widget, region] : log.painted) {
        if (widget == count)
            continue;
        QVERIFY2((region - QRegion(countRect)).isEmpty(), qPrintable(widget->objectName()));
        QVERIFY2(!qobject_cast<QLabel*>(widget), qPrintable(widget->objectName()));
    }
}

QTEST_MAIN(tst_StatusBarView)
#include "tst_statusbarview.moc"
