// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The level trigger on shaped streams whose every sample is distinct: the
// trigger sample and the capture's first and last sample for each source,
// slope and pre-trigger share, signals that never cross or dither around the
// level, repeated events, and the [Trigger] section's texts.
#include "trigger.h"

#include <QTest>

#include <cmath>
#include <iterator>
#include <vector>

namespace {

using ESource = Trigger::ESource;
using ESlope = Trigger::ESlope;

constexpr quint64 WINDOW = 50;
constexpr double LEVEL = 1.0;

// A stream of frames; `signal(i)` goes into the source, the other channels
// carry the sample's number so that a lost or repeated sample shows.
struct SStream
{
    std::vector<float> accel;
    std::vector<float> gyro;

    quint64 size() const { return accel.size() / 3; }
};

template <typename Signal> SStream makeStream(ESource source, quint64 count, const Signal& signal)
{
    SStream stream;
    for (quint64 i = 0; i < count; ++i) {
        float values[6];
        for (int c = 0; c < 6; ++c)
            values[c] = float(double(i % 1000) * 1e-4 + c * 1e-5);
        const auto s = float(signal(i));
        switch (source) {
        case ESource::AccelMagnitude:
            values[0] = s; // the others are far too small to matter
            break;
        case ESource::RateMagnitude:
            values[3] = s;
            break;
        default:
            values[int(source)] = s;
        }
        stream.accel.insert(stream.accel.end(), values, values + 3);
        stream.gyro.insert(stream.gyro.end(), values + 3, values + 6);
    }
    return stream;
}

bool isMagnitude(ESource source)
{
    return source == ESource::AccelMagnitude || source == ESource::RateMagnitude;
}

// Low until `event`, high for `length` samples, low again (inverted for a
// falling shape). Magnitudes stay positive.
SStream pulses(ESource source, bool fallingShape, quint64 count, const std::vector<quint64>& events,
               quint64 length)
{
    const double low = isMagnitude(source) ? 0.1 : LEVEL - 1.0;
    const double high = LEVEL + 1.0;
    return makeStream(source, count, [&](quint64 i) {
        bool inside = false;
        for (quint64 event : events)
            inside = inside || (i >= event && i < event + length);
        return inside != fallingShape ? high : low;
    });
}

Trigger::SSettings settings(ESource source, ESlope slope, int percent,
                            Trigger::EMode mode = Trigger::EMode::Single)
{
    Trigger::SSettings s;
    s.source = source;
    s.slope = slope;
    s.level = LEVEL;
    s.hysteresis = 0.05;
    s.preTriggerPercent = percent;
    s.windowSamples = WINDOW;
    s.mode = mode;
    return s;
}

// Hands the stream over in uneven batches, as the update ticks do; sample
// k of the stream gets the absolute index base + k.
std::vector<Trigger::SCapture> feed(Trigger& trigger, const SStream& stream, quint64 base,
                                    quint64 from = 0)
{
    static const std::size_t BATCHES[] = {42, 1, 7, 13, 0, 64};
    std::vector<Trigger::SCapture> captures;
    quint64 k = from;
    for (std::size_t b = 0; k < stream.size(); ++b) {
        const quint64 n = std::min<quint64>(BATCHES[b % std::size(BATCHES)], stream.size() - k);
        trigger.process(stream.accel.data() + 3 * k, stream.gyro.data() + 3 * k, std::size_t(n),
                        base + k);
        k += n;
        for (Trigger::SCapture& capture : trigger.takeCaptures())
            captures.push_back(std::move(capture));
    }
    return captures;
}

// The capture holds the stream's samples [first, first + count), nothing else.
void checkSamples(const Trigger::SCapture& capture, const SStream& stream, quint64 base,
                  quint64 first, quint64 count)
{
    QCOMPARE(capture.firstIndex, base + first);
    QCOMPARE(capture.sampleCount(), count);
    QCOMPARE(capture.gyro.size(), capture.accel.size());
    for (quint64 k = 0; k < 3 * count; ++k) {
        QCOMPARE(capture.accel[k], stream.accel[3 * first + k]);
        QCOMPARE(capture.gyro[k], stream.gyro[3 * first + k]);
    }
}

} // namespace

class TestTrigger : public QObject
{
    Q_OBJECT

private slots:
    void preTriggerSamples_data();
    void preTriggerSamples();
    void capturesTheWindowAroundTheEvent_data();
    void capturesTheWindowAroundTheEvent();
    void neverCrossingNeverTriggers_data();
    void neverCrossingNeverTriggers();
    void ditherAroundTheLevelTriggersOnce_data();
    void ditherAroundTheLevelTriggersOnce();
    void repeatCapturesEachSeparateEvent_data();
    void repeatCapturesEachSeparateEvent();
    void rearmDiscardsTheCaptureInProgress();
    void singleStopsAfterOneCapture();
    void sectionRoundTrip_data();
    void sectionRoundTrip();
    void rejectsMalformedSection_data();
    void rejectsMalformedSection();
};

void TestTrigger::preTriggerSamples_data()
{
    QTest::addColumn<quint64>("window");
    QTest::addColumn<int>("percent");
    QTest::addColumn<quint64>("expected");

    QTest::newRow("5 s, 20 %") << quint64(4165) << 20 << quint64(833);
    QTest::newRow("5 s, 0 %") << quint64(4165) << 0 << quint64(0);
    QTest::newRow("5 s, 100 %: the trigger sample is the last")
        << quint64(4165) << 100 << quint64(4164);
    QTest::newRow("5 s, 99 %") << quint64(4165) << 99 << quint64(4123); // 4123.35
    QTest::newRow("half of 5 rounds up") << quint64(5) << 50 << quint64(3);
    QTest::newRow("1 s, 33 %") << quint64(833) << 33 << quint64(275); // 274.89
    QTest::newRow("one sample") << quint64(1) << 50 << quint64(0);
    QTest::newRow("300 s, 20 %") << quint64(249900) << 20 << quint64(49980);
}

void TestTrigger::preTriggerSamples()
{
    QFETCH(quint64, window);
    QFETCH(int, percent);
    QFETCH(quint64, expected);
    Trigger::SSettings s;
    s.windowSamples = window;
    s.preTriggerPercent = percent;
    QCOMPARE(Trigger::preTriggerSamples(s), expected);
}

void TestTrigger::capturesTheWindowAroundTheEvent_data()
{
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("slope");
    QTest::addColumn<bool>("fallingShape");
    QTest::addColumn<int>("percent");
    QTest::addColumn<quint64>("event");
    QTest::addColumn<quint64>("first"); // stream-relative
    QTest::addColumn<quint64>("count");

    struct SShare
    {
        int percent;
        quint64 pre; // of WINDOW
    };
    const SShare shares[] = {{0, 0}, {20, 10}, {100, 49}};
    for (int source = 0; source < Trigger::SOURCE_COUNT; ++source) {
        for (int slope = 0; slope < Trigger::SLOPE_COUNT; ++slope) {
            // Either takes the first crossing, whichever way it goes.
            for (bool fallingShape : {false, true}) {
                if ((slope == int(ESlope::Rising) && fallingShape) ||
                    (slope == int(ESlope::Falling) && !fallingShape))
                    continue;
                for (const SShare& share : shares) {
                    const quint64 event = 200;
                    QTest::addRow(
                        "%s %s%s %d %%", qPrintable(Trigger::sourceText(ESource(source))),
                        qPrintable(Trigger::slopeText(ESlope(slope))),
                        slope == int(ESlope::Either) ? (fallingShape ? " (down)" : " (up)") : "",
                        share.percent)
                        << source << slope << fallingShape << share.percent << event
                        << event - share.pre << WINDOW;
                }
            }
        }
    }
    // An event younger than the pre-trigger part: what there is comes before it.
    QTest::newRow("X Rising 20 %, event at 4")
        << int(ESource::X) << int(ESlope::Rising) << false << 20 << quint64(4) << quint64(0)
        << quint64(4 + 1 + 39);
    QTest::newRow("|ω| Falling 100 %, event at 30")
        << int(ESource::RateMagnitude) << int(ESlope::Falling) << true << 100 << quint64(30)
        << quint64(0) << quint64(31);
    QTest::newRow("rZ Either 20 %, event at 10 exactly")
        << int(ESource::RZ) << int(ESlope::Either) << false << 20 << quint64(10) << quint64(0)
        << WINDOW;
}

void TestTrigger::capturesTheWindowAroundTheEvent()
{
    QFETCH(int, source);
    QFETCH(int, slope);
    QFETCH(bool, fallingShape);
    QFETCH(int, percent);
    QFETCH(quint64, event);
    QFETCH(quint64, first);
    QFETCH(quint64, count);

    const auto src = ESource(source);
    const SStream stream = pulses(src, fallingShape, 600, {event}, 5);
    Trigger trigger;
    trigger.arm(settings(src, ESlope(slope), percent));
    // Indices go on from an earlier part of the measurement.
    const quint64 base = 12345;
    const std::vector<Trigger::SCapture> captures = feed(trigger, stream, base);
    QCOMPARE(captures.size(), std::size_t(1));
    const Trigger::SCapture& capture = captures.front();
    QCOMPARE(capture.triggerIndex, base + event);
    QCOMPARE(capture.number, quint64(1));
    QCOMPARE(int(capture.settings.source), source);
    checkSamples(capture, stream, base, first, count);
    QCOMPARE(trigger.state(), Trigger::EState::Done);
}

void TestTrigger::neverCrossingNeverTriggers_data()
{
    QTest::addColumn<int>("slope");
    QTest::addColumn<double>("offset"); // of the signal's centre from the level

    QTest::newRow("rising, just below") << int(ESlope::Rising) << -0.001;
    QTest::newRow("falling, just above") << int(ESlope::Falling) << 0.001;
    QTest::newRow("either, just below") << int(ESlope::Either) << -0.001;
    QTest::newRow("rising, far above") << int(ESlope::Rising) << 5.0;
}

void TestTrigger::neverCrossingNeverTriggers()
{
    QFETCH(int, slope);
    QFETCH(double, offset);
    // Swings of 0.5 that end before the level: out of the hysteresis on one side only.
    const SStream stream = makeStream(ESource::Y, 20000, [&](quint64 i) {
        const double swing = 0.5 * std::abs(std::sin(double(i) * 0.05));
        return LEVEL + offset + (offset < 0 ? -swing : swing);
    });
    Trigger trigger;
    trigger.arm(settings(ESource::Y, ESlope(slope), 20, Trigger::EMode::Repeat));
    QCOMPARE(feed(trigger, stream, 0).size(), std::size_t(0));
    QCOMPARE(trigger.state(), Trigger::EState::Armed);
    QCOMPARE(trigger.captureCount(), quint64(0));
}

void TestTrigger::ditherAroundTheLevelTriggersOnce_data()
{
    QTest::addColumn<int>("slope");
    QTest::addColumn<double>("start"); // where the signal comes from

    QTest::newRow("rising") << int(ESlope::Rising) << LEVEL - 1.0;
    QTest::newRow("falling") << int(ESlope::Falling) << LEVEL + 1.0;
    QTest::newRow("either") << int(ESlope::Either) << LEVEL - 1.0;
}

void TestTrigger::ditherAroundTheLevelTriggersOnce()
{
    QFETCH(int, slope);
    QFETCH(double, start);
    // From one side onto the level, then noise of ±0.04 around it (the
    // hysteresis is 0.05) for many windows.
    quint64 state = 88172645463325252ull;
    const SStream stream = makeStream(ESource::RX, 10000, [&](quint64 i) {
        if (i < 100)
            return start;
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return LEVEL + (double(state % 8001) / 8000.0 - 0.5) * 0.08;
    });
    Trigger trigger;
    trigger.arm(settings(ESource::RX, ESlope(slope), 20, Trigger::EMode::Repeat));
    const std::vector<Trigger::SCapture> captures = feed(trigger, stream, 0);
    QCOMPARE(captures.size(), std::size_t(1));
    QVERIFY(captures.front().triggerIndex >= 100);
    QVERIFY(captures.front().triggerIndex < 110); // the first crossing, not a later one
}

void TestTrigger::repeatCapturesEachSeparateEvent_data()
{
    QTest::addColumn<std::vector<quint64>>("events");
    QTest::addColumn<std::vector<quint64>>("triggers");

    QTest::newRow("four apart") << std::vector<quint64>{100, 300, 500, 700}
                                << std::vector<quint64>{100, 300, 500, 700};
    // The second starts inside the first capture (which ends at 139): none for it.
    QTest::newRow("one inside a capture")
        << std::vector<quint64>{100, 120, 400} << std::vector<quint64>{100, 400};
    // Right after a capture's end: the pre-trigger part reaches into the last capture.
    QTest::newRow("back to back") << std::vector<quint64>{100, 145, 190}
                                  << std::vector<quint64>{100, 145, 190};
    // Still high when a capture ends: it must go low again first.
    QTest::newRow("held across the capture's end")
        << std::vector<quint64>{100} << std::vector<quint64>{100};
}

void TestTrigger::repeatCapturesEachSeparateEvent()
{
    QFETCH(std::vector<quint64>, events);
    QFETCH(std::vector<quint64>, triggers);

    const quint64 length = events.size() == 1 ? 200 : 3;
    const SStream stream = pulses(ESource::Z, false, 1000, events, length);
    Trigger trigger;
    trigger.arm(settings(ESource::Z, ESlope::Rising, 20, Trigger::EMode::Repeat));
    const std::vector<Trigger::SCapture> captures = feed(trigger, stream, 0);
    QCOMPARE(captures.size(), triggers.size());
    for (std::size_t i = 0; i < captures.size(); ++i) {
        QCOMPARE(captures[i].number, quint64(i + 1));
        QCOMPARE(captures[i].triggerIndex, triggers[i]);
        checkSamples(captures[i], stream, 0, triggers[i] - 10, WINDOW);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(trigger.captureCount(), quint64(triggers.size()));
    QCOMPARE(trigger.state(), Trigger::EState::Armed);
}

void TestTrigger::rearmDiscardsTheCaptureInProgress()
{
    // Events at 100 and 225; the sensor's settings change at 120, within the
    // first capture, and its settling samples up to 219 never reach the trigger.
    const SStream stream = pulses(ESource::X, false, 600, {100, 225}, 3);
    Trigger trigger;
    trigger.arm(settings(ESource::X, ESlope::Rising, 20, Trigger::EMode::Repeat));
    const SStream head{{stream.accel.begin(), stream.accel.begin() + 3 * 120},
                       {stream.gyro.begin(), stream.gyro.begin() + 3 * 120}};
    QCOMPARE(feed(trigger, head, 0).size(), std::size_t(0));
    QCOMPARE(trigger.state(), Trigger::EState::Capturing);
    trigger.rearm();
    QCOMPARE(trigger.state(), Trigger::EState::Armed);

    const std::vector<Trigger::SCapture> captures = feed(trigger, stream, 0, 220);
    QCOMPARE(captures.size(), std::size_t(1));
    QCOMPARE(captures.front().triggerIndex, quint64(225));
    QCOMPARE(captures.front().number, quint64(1));
    // Only the five samples since the change come before the trigger sample.
    checkSamples(captures.front(), stream, 0, 220, 5 + 1 + 39);
}

void TestTrigger::singleStopsAfterOneCapture()
{
    const SStream stream = pulses(ESource::AccelMagnitude, false, 1000, {100, 300, 500}, 3);
    Trigger trigger;
    trigger.arm(settings(ESource::AccelMagnitude, ESlope::Rising, 20));
    const std::vector<Trigger::SCapture> captures = feed(trigger, stream, 0);
    QCOMPARE(captures.size(), std::size_t(1));
    QCOMPARE(captures.front().triggerIndex, quint64(100));
    QCOMPARE(trigger.state(), Trigger::EState::Done);

    // A new measurement counts from one again.
    trigger.restart();
    const std::vector<Trigger::SCapture> again = feed(trigger, stream, 5000, 250);
    QCOMPARE(again.size(), std::size_t(1));
    QCOMPARE(again.front().triggerIndex, quint64(5300));
    QCOMPARE(again.front().number, quint64(1));
    // Armed at 250: 10 samples before 300 are there.
    checkSamples(again.front(), stream, 5000, 290, WINDOW);
}

void TestTrigger::sectionRoundTrip_data()
{
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("slope");
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("percent");
    QTest::addColumn<quint64>("index");
    QTest::addColumn<QString>("levelLine");
    QTest::addColumn<QString>("timeLine");

    QTest::newRow("X rising") << int(ESource::X) << int(ESlope::Rising) << 0.5 << 20
                              << quint64(4165) << "Level [g];0,50000"
                              << "Trigger time [s];5,0000";
    QTest::newRow("|ω| either") << int(ESource::RateMagnitude) << int(ESlope::Either) << 250.0 << 0
                                << quint64(1) << "Level [dps];250,000"
                                << "Trigger time [s];0,0012";
    QTest::newRow("rZ falling, negative") << int(ESource::RZ) << int(ESlope::Falling) << -12.5
                                          << 100 << quint64(249899) << "Level [dps];-12,500"
                                          << "Trigger time [s];299,9988";
    QTest::newRow("|a| at the start") << int(ESource::AccelMagnitude) << int(ESlope::Rising) << 1.25
                                      << 35 << quint64(0) << "Level [g];1,25000"
                                      << "Trigger time [s];0,0000";
}

void TestTrigger::sectionRoundTrip()
{
    QFETCH(int, source);
    QFETCH(int, slope);
    QFETCH(double, level);
    QFETCH(int, percent);
    QFETCH(quint64, index);
    QFETCH(QString, levelLine);
    QFETCH(QString, timeLine);

    Trigger::SSettings s = settings(ESource(source), ESlope(slope), percent);
    s.level = level;
    const QList<QPair<QString, QString>> texts = Trigger::sectionTexts(s, index, 833.0);
    QCOMPARE(texts.size(), 5);
    QCOMPARE(texts.at(0).first + ';' + texts.at(0).second,
             "Source;" + Trigger::sourceText(ESource(source)));
    QCOMPARE(texts.at(2).first + ';' + texts.at(2).second, levelLine);
    QCOMPARE(texts.at(4).first + ';' + texts.at(4).second, timeLine);

    Trigger::SMarker marker;
    int badLine = -1;
    QString reason;
    QVERIFY2(Trigger::fromSectionTexts(texts, 833.0, marker, badLine, reason), qPrintable(reason));
    QCOMPARE(int(marker.settings.source), source);
    QCOMPARE(int(marker.settings.slope), slope);
    QCOMPARE(marker.settings.level, level);
    QCOMPARE(marker.settings.preTriggerPercent, percent);
    QCOMPARE(marker.triggerIndex, index);
}

void TestTrigger::rejectsMalformedSection_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("badLine");
    QTest::addColumn<QString>("reason");

    QTest::newRow("unknown source") << 0 << "Source"
                                    << "W" << 0 << "not a trigger source";
    QTest::newRow("source label") << 0 << "Quelle"
                                  << "X" << 0 << "expected \"Source;";
    QTest::newRow("unknown slope") << 1 << "Slope"
                                   << "up" << 1 << "not a trigger slope";
    QTest::newRow("level in the wrong unit") << 2 << "Level [dps]"
                                             << "0,50000" << 2 << "Level [g]";
    QTest::newRow("level with a point") << 2 << "Level [g]"
                                        << "0.5" << 2 << "not a level";
    QTest::newRow("level as text") << 2 << "Level [g]"
                                   << "high" << 2 << "not a level";
    QTest::newRow("level infinite") << 2 << "Level [g]"
                                    << "inf" << 2 << "not a level";
    QTest::newRow("share above 100") << 3 << "Pre-trigger [%]"
                                     << "101" << 3 << "0 to 100";
    QTest::newRow("share negative") << 3 << "Pre-trigger [%]"
                                    << "-1" << 3 << "0 to 100";
    QTest::newRow("share with decimals") << 3 << "Pre-trigger [%]"
                                         << "20,5" << 3 << "0 to 100";
    QTest::newRow("time not a sample time") << 4 << "Trigger time [s]"
                                            << "0,0005" << 4 << "not a sample time";
    QTest::newRow("time negative") << 4 << "Trigger time [s]"
                                   << "-1,0000" << 4 << "not a time";
    QTest::newRow("time huge") << 4 << "Trigger time [s]"
                               << "1e300" << 4 << "not a time";
    QTest::newRow("line too many") << 5 << "Mode"
                                   << "Single" << 5 << "not a line of the trigger section";
    QTest::newRow("line missing") << -1 << ""
                                  << "" << 4 << "expected \"Trigger time [s];";
}

void TestTrigger::rejectsMalformedSection()
{
    QFETCH(int, line);
    QFETCH(QString, label);
    QFETCH(QString, text);
    QFETCH(int, badLine);
    QFETCH(QString, reason);

    QList<QPair<QString, QString>> texts =
        Trigger::sectionTexts(settings(ESource::X, ESlope::Rising, 20), 833, 833.0);
    if (line < 0)
        texts.removeLast();
    else if (line == texts.size())
        texts.append({label, text});
    else
        texts[line] = {label, text};
    Trigger::SMarker marker;
    int bad = -1;
    QString why;
    QVERIFY(!Trigger::fromSectionTexts(texts, 833.0, marker, bad, why));
    QCOMPARE(bad, badLine);
    QVERIFY2(why.contains(reason), qPrintable(why));
}

QTEST_APPLESS_MAIN(TestTrigger)
#include "tst_trigger.moc"
