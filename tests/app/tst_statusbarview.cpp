// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The status bar as it changes while the window is shown: it must look
// exactly like a status bar built in its final state, and a refresh must
// repaint the texts it changes and nothing else.
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
    void refreshRepaintsOnlyChangedTexts_data();
    void refreshRepaintsOnlyChangedTexts();
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

void tst_StatusBarView::refreshRepaintsOnlyChangedTexts_data()
{
    QTest::addColumn<SStatus>("before");
    QTest::addColumn<SStatus>("after");
    QTest::addColumn<QStringList>("changed");

    SStatus before;
    SStatus after = before;
    after.stored += 42;
    QTest::newRow("sample count") << before << after << QStringList{"lb_status_samples"};
    after.durationMs += 1000;
    QTest::newRow("count and time")
        << before << after << QStringList{"lb_status_samples", "lb_status_time"};
    before.recording = QStringLiteral("rec.csv");
    after = before;
    after.durationMs += 1000;
    QTest::newRow("recording") << before << after
                               << QStringList{"lb_status_time", "lb_status_recording"};
}

void tst_StatusBarView::refreshRepaintsOnlyChangedTexts()
{
    QFETCH(SStatus, before);
    QFETCH(SStatus, after);
    QFETCH(QStringList, changed);

    QMainWindow window;
    StatusBarView view;
    view.setup(&window);
    window.resize(900, 200);
    show(view, before);
    QStatusBar* bar = window.statusBar();
    CPaintLog log(bar);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QRegion changedRegion;
    QList<QLabel*> labels;
    for (const QString& name : changed) {
        auto* label = bar->findChild<QLabel*>(name);
        QVERIFY(label);
        labels.append(label);
        QTRY_VERIFY(!log.painted[label].isEmpty());
        changedRegion += QRect(label->mapTo(bar, QPoint(0, 0)), label->size());
    }
    settle();
    log.painted.clear();

    show(view, after);
    settle();
    for (QLabel* label : labels)
        QTRY_VERIFY(!log.painted[label].isEmpty());

    for (const auto& [widget, region] : log.painted) {
        QVERIFY2((region - changedRegion).isEmpty(), qPrintable(widget->objectName()));
        if (qobject_cast<QLabel*>(widget))
            QVERIFY2(labels.contains(widget), qPrintable(widget->objectName()));
    }
}

QTEST_MAIN(tst_StatusBarView)
#include "tst_statusbarview.moc"
