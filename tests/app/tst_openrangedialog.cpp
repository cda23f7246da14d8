// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Choosing the stretch of a long measurement file to show.
#include "openrangedialog.h"

#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

class TestOpenRangeDialog : public QObject
{
    Q_OBJECT

private slots:
    void choosesTheStart_data();
    void choosesTheStart();
};

void TestOpenRangeDialog::choosesTheStart_data()
{
    QTest::addColumn<quint64>("samples");
    QTest::addColumn<int>("seconds"); // -1: the default
    QTest::addColumn<quint64>("start");
    QTest::addColumn<QString>("range");

    // An hour at 833 samples/s; the history holds 300 s.
    QTest::newRow("default") << quint64(2998800) << -1 << quint64(0)
                             << "Shows 00:00:00 to 00:05:00";
    QTest::newRow("10 s") << quint64(2998800) << 10 << quint64(8330)
                          << "Shows 00:00:10 to 00:05:10";
    QTest::newRow("the end") << quint64(2998800) << 3300 << quint64(2998800 - 249900)
                             << "Shows 00:55:00 to 01:00:00";
    // The last whole second would run past the end: the stretch ends with the file.
    QTest::newRow("part second") << quint64(249900 + 1000) << 2 << quint64(1000)
                                 << "Shows 00:00:01 to 00:05:01";
}

void TestOpenRangeDialog::choosesTheStart()
{
    QFETCH(quint64, samples);
    QFETCH(int, seconds);
    QFETCH(quint64, start);
    QFETCH(QString, range);

    OpenRangeDialog dialog(samples, 249900, 833.0);
    auto* spin = dialog.findChild<QSpinBox*>(QStringLiteral("spin_start"));
    auto* slider = dialog.findChild<QSlider*>(QStringLiteral("slider_start"));
    QVERIFY(spin && slider);
    if (seconds >= 0)
        spin->setValue(seconds);
    QCOMPARE(slider->value(), spin->value());
    QCOMPARE(dialog.startSample(), start);
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lb_range"))->text(), range);
}

QTEST_MAIN(TestOpenRangeDialog)
#include "tst_openrangedialog.moc"
