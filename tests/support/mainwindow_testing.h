// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Shared by the main window suites: simulated sensors, answering modal
// dialogs, and finding the window's parts by object name.
#pragma once

#include "clivegraph.h"
#include "cskarvel.h"
#include "hidsim.h"
#include "mainwindow.h"
#include "skarvelmodel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__SANITIZE_THREAD__)
#define TESTING_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESTING_UNDER_TSAN 1
#endif
#endif

namespace testing {

inline hidsim::DeviceSetup sensorInterface0(const std::wstring& serial, unsigned short firmware)
{
    hidsim::DeviceSetup setup;
    setup.vendorId = SKARVEL_VENDOR_ID;
    setup.productId = SKARVEL_PRODUCT_ID;
    setup.serialNumber = serial;
    setup.releaseNumber = firmware;
    setup.interfaceNumber = 0;
    setup.reportDescriptor = skarvelsim::interface0Descriptor();
    return setup;
}

// A sensor whose interface 0 delivers only what the test queues: exact values.
inline hidsim::DeviceId addScriptedSensor(const std::wstring& serial,
                                          unsigned short firmware = 0x0102)
{
    return hidsim::addDevice(sensorInterface0(serial, firmware));
}

// One input report with these raw axis counts (0 is zero, as decoded).
inline hidsim::Bytes report(int ax, int ay = 0, int az = 0, int gx = 0, int gy = 0, int gz = 0)
{
    hidsim::Bytes bytes;
    for (int value : {ax, ay, az, gx, gy, gz}) {
        const int wire = value + 32767;
        bytes.push_back(static_cast<unsigned char>(wire & 0xFF));
        bytes.push_back(static_cast<unsigned char>((wire >> 8) & 0xFF));
    }
    bytes.push_back(0);
    return bytes;
}

// Streams as a real sensor does, 833 reports a second from the first read on,
// so that the window never takes it for lost; report k carries k (modulo
// NUMBERS) on every axis, so that a test knows where each stored sample came
// from. None is lost: what a held-up reader missed follows at once.
class NumberedStream : public hidsim::DeviceModel
{
public:
    static constexpr uint64_t NUMBERS = 32768;

    // Sends nothing from the next command on until resume(): a setting the
    // test changes meets no report on its way, and the reports after the
    // change are known. The window's event loop must not run in between.
    void pauseAtNextCommand()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pauseAtCommand = true;
    }
    void resume()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_paused = false;
        m_due = std::max(m_due, hidsim::Clock::now());
    }
    // Reports handed to the host so far: the number of the next one.
    uint64_t sent() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sent;
    }

    Poll pollInput(hidsim::Clock::time_point now, hidsim::Bytes& out,
                   hidsim::Clock::time_point& due) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_paused) {
            due = hidsim::Clock::time_point::max();
            return Poll::NotYet;
        }
        if (!m_started) {
            m_started = true;
            m_due = now;
        }
        if (now < m_due) {
            due = m_due;
            return Poll::NotYet;
        }
        const int number = int(m_sent % NUMBERS);
        out = report(number, number, number, number, number, number);
        ++m_sent;
        m_due += std::chrono::nanoseconds(1000000000 / 833);
        return Poll::Ready;
    }
    void onOutputReport(const hidsim::Bytes& /*data*/) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pauseAtCommand)
            m_paused = true;
        m_pauseAtCommand = false;
    }

private:
    mutable std::mutex m_mutex; // guards all below; taken inside the backend mutex
    hidsim::Clock::time_point m_due;
    bool m_started = false;
    bool m_pauseAtCommand = false;
    bool m_paused = false;
    uint64_t m_sent = 0;
};

inline std::shared_ptr<NumberedStream> addNumberedSensor(const std::wstring& serial)
{
    auto stream = std::make_shared<NumberedStream>();
    hidsim::DeviceSetup setup = sensorInterface0(serial, 0x0102);
    setup.model = stream;
    hidsim::addDevice(std::move(setup));
    return stream;
}

// The number of the report a stored value came from, converted with
// `milliPerCount` (mg or mdps per count).
inline qint64 reportNumber(float stored, double milliPerCount)
{
    return std::llround(double(stored) * 1000.0 / milliPerCount);
}

// When a simulated sensor was last seen before its final report went out:
// the silence after its last sample counts from no earlier than that,
// however late the read thread took the report.
class SentWatch
{
public:
    using Clock = std::chrono::steady_clock;

    explicit SentWatch(const skarvelsim::CSkarvelModel& model) : m_model(model) {}

    // Notes the reports sent so far.
    void look() { m_looks.push_back({Clock::now(), m_model.reportsSent()}); }
    // Looks until the sensor sends its next report, so that a fault right
    // after leaves a look just before the sensor's last report.
    void lookUntilNextReport()
    {
        const uint64_t sent = m_model.reportsSent();
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        do
            look();
        while (m_looks.back().sent == sent && m_looks.back().at < deadline);
    }
    // The last look before the reports sent by now; the first look when
    // none went out after it.
    Clock::time_point beforeLastReport() const
    {
        const uint64_t sent = m_model.reportsSent();
        Clock::time_point last = m_looks.empty() ? Clock::now() : m_looks.front().at;
        for (const SLook& look : m_looks) {
            if (look.sent < sent)
                last = look.at;
        }
        return last;
    }

private:
    struct SLook
    {
        Clock::time_point at;
        uint64_t sent;
    };
    const skarvelsim::CSkarvelModel& m_model;
    std::vector<SLook> m_looks;
};

// Waits, without running the GUI's event loop, until the read thread has
// taken every queued report.
inline bool waitQueueDrained(hidsim::DeviceId device, int timeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (hidsim::queuedInputCount(device) > 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Answers modal dialogs as they open, in order, from the event loop they
// run. A modal dialog nobody expected is recorded and rejected, so a test
// never hangs on it.
class ModalAnswerer : public QObject
{
public:
    using Answer = std::function<void(QWidget*)>;

    struct SSeen
    {
        QString className;
        QString title;
        QString text; // message boxes only
    };

    ModalAnswerer()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
        m_timer.start();
    }

    void expect(Answer answer) { m_answers.push_back(std::move(answer)); }
    // Records the message box and presses its default button.
    void expectMessage()
    {
        expect([](QWidget* widget) {
            QVERIFY2(qobject_cast<QMessageBox*>(widget), "not a message box");
            static_cast<QDialog*>(widget)->accept();
        });
    }

    const QList<SSeen>& seen() const { return m_seen; }
    int unanswered() const { return int(m_answers.size()); }
    int unexpected() const { return m_unexpected; }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == m_current)
            return;
        m_current = modal;
        SSeen seen{QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle(), {}};
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            seen.text = box->text();
        m_seen.append(seen);
        if (m_answers.empty()) {
            ++m_unexpected;
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            return;
        }
        Answer answer = std::move(m_answers.front());
        m_answers.pop_front();
        answer(modal);
    }

    QTimer m_timer;
    QPointer<QWidget> m_current;
    std::deque<Answer> m_answers;
    QList<SSeen> m_seen;
    int m_unexpected = 0;
};

// The main window's parts, by object name.
struct WindowParts
{
    explicit WindowParts(MainWindow& w) : window(w) {}

    QAction* action(const char* name) const
    {
        auto* found = window.findChild<QAction*>(QLatin1String(name));
        if (!found)
            qFatal("no action %s", name);
        return found;
    }
    template <typename T> T* widget(const char* name) const
    {
        auto* found = window.findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }
    CLiveGraph* accel() const { return widget<CLiveGraph>("widget_accel"); }
    CLiveGraph* gyro() const { return widget<CLiveGraph>("widget_gyro"); }
    QComboBox* combo(const char* name) const { return widget<QComboBox>(name); }
    QLabel* label(const char* name) const { return widget<QLabel>(name); }
    bool measuring() const { return action("actionStop")->isEnabled(); }
    bool connected() const { return action("actionDisconnect")->isEnabled(); }

    MainWindow& window;
};

// Emits the action's signal even while it is disabled, as a stale shortcut or
// menu would: the window's wiring must cope on its own.
inline void fire(QAction* action)
{
    emit action->triggered(false);
}

// Picks `serial` in the device dialog and confirms.
inline ModalAnswerer::Answer chooseDevice(const QString& serial)
{
    return [serial](QWidget* dialog) {
        auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("cmb_serial"));
        QVERIFY2(combo, "not the device dialog");
        combo->setCurrentIndex(combo->findText(serial));
        static_cast<QDialog*>(dialog)->accept();
    };
}

// Fills the save dialog with `path` after checking how it was opened. The
// dialog is accepted from the event loop, so that a confirmation it asks
// for reaches the answerer as the next modal dialog.
inline ModalAnswerer::Answer saveAs(const QString& path, const QString& title,
                                    const QString& filter, const QString& defaultName)
{
    return [=](QWidget* widget) {
        auto rejectOnFailure =
            qScopeGuard([widget] { QTimer::singleShot(0, widget, [widget] { widget->close(); }); });
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        QVERIFY2(dialog, "not a file dialog");
        QCOMPARE(dialog->windowTitle(), title);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog->nameFilters(), QStringList{filter});
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        QVERIFY2(QRegularExpression(defaultName).match(edit->text()).hasMatch(),
                 qPrintable(edit->text()));
        edit->setText(path);
        rejectOnFailure.dismiss();
        QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); });
    };
}

const QString PYTHON = QStringLiteral("/usr/bin/python3");

// Runs a Python script under Debian's interpreter with `arguments` and parses
// what it prints as a JSON object. Returns why it could not, or an empty text.
inline QString runPython(const QString& script, const QStringList& arguments, QJsonObject* result)
{
#ifdef TESTING_UNDER_TSAN
    // The sanitizer ends a child forked from a process with threads.
    Q_UNUSED(script);
    Q_UNUSED(arguments);
    Q_UNUSED(result);
    return QStringLiteral("no child processes under ThreadSanitizer");
#endif
    if (!QFile::exists(PYTHON))
        return QStringLiteral("%1 is not installed").arg(PYTHON);
    QProcess python;
    python.start(PYTHON, QStringList{QStringLiteral("-c"), script} + arguments);
    if (!python.waitForFinished(60000))
        return QStringLiteral("%1 did not finish").arg(PYTHON);
    if (python.exitStatus() == QProcess::NormalExit && python.exitCode() == 3)
        return QStringLiteral("pandas is not installed for %1").arg(PYTHON);
    const QByteArray output = python.readAllStandardOutput();
    if (python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        QTest::qFail(qPrintable(QStringLiteral("python failed: ") +
                                QString::fromUtf8(python.readAllStandardError())),
                     __FILE__, __LINE__);
        return QStringLiteral("python failed");
    }
    *result = QJsonDocument::fromJson(output).object();
    return QString();
}

// Reads a measurement file with pandas as its users do (sep ';', decimal ','):
// `rows`, `numbers` (every column numeric) and `last` (the last time). Returns
// why it could not, or an empty text.
inline QString readWithPandas(const QString& path, QJsonObject* table)
{
    return runPython(
        QStringLiteral("import json, sys\n"
                       "try:\n    import pandas as pd\nexcept ImportError:\n    sys.exit(3)\n"
                       "t = pd.read_csv(sys.argv[1], sep=';', decimal=',', skiprows=15, "
                       "encoding='utf-8-sig')\n"
                       "print(json.dumps({'rows': len(t), 'numbers': bool(t.dtypes.eq('float64')"
                       ".all()), 'last': float(t.iloc[-1, 0])}))\n"),
        {path}, table);
}

// Connects through the device dialog, choosing `serial`.
inline void connectTo(MainWindow& window, ModalAnswerer& modals, const QString& serial)
{
    modals.expect(chooseDevice(serial));
    WindowParts(window).action("actionConnect")->trigger();
}

// The status bar's rich text for a state word.
inline QString stateText(const QString& text, const QColor& color)
{
    return QStringLiteral("<span style=\"color:%1; font-weight:bold\">%2</span>")
        .arg(color.name(), text);
}

} // namespace testing
