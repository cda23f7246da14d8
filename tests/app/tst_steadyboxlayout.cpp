// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The steady layout against a plain QHBoxLayout: twin sections, each in a
// status-bar-like row, take the same change; every widget must end up where
// the plain one puts it and paint the same, while a change that keeps all
// sizes must not reach the enclosing layout.
#include "steadyboxlayout.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// Counts the layout requests that reach a widget.
class CLayoutRequestCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::LayoutRequest)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

// A row like the status bar's: the section at the left, a stretch after it.
struct SRow
{
    explicit SRow(QBoxLayout* section)
    {
        row.resize(600, 40);
        auto* outer = new QHBoxLayout(&row);
        auto* sectionWidget = new QWidget(&row);
        sectionWidget->setLayout(section);
        section->setContentsMargins(0, 0, 0, 0);
        section->setSpacing(12);
        first = new QLabel(QStringLiteral("0 / 8,330 samples"), sectionWidget);
        first->setMinimumWidth(first->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 16);
        auto* line = new QFrame(sectionWidget);
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(QFrame::Sunken);
        second = new QLabel(QStringLiteral("<b>Measuring</b>"), sectionWidget);
        second->setTextFormat(Qt::RichText);
        second->setMinimumWidth(second->sizeHint().width());
        section->addWidget(first);
        section->addWidget(line);
        section->addWidget(second);
        outer->addWidget(sectionWidget);
        outer->addStretch();
        this->section = section;
        row.installEventFilter(&requests);
        row.show();
        settle();
        requests.count = 0;
    }

    // Layout requests travel one level per posted event.
    static void settle()
    {
        for (int level = 0; level < 4; ++level)
            QCoreApplication::sendPostedEvents();
    }

    QWidget row;
    QBoxLayout* section = nullptr;
    QPointer<QLabel> first;
    QPointer<QLabel> second;
    CLayoutRequestCounter requests;
};

using Change = std::function<void(SRow&)>;

QList<QRect> geometries(const QWidget& row)
{
    QList<QRect> rects;
    for (const QWidget* child : row.findChildren<QWidget*>())
        rects.append(QRect(child->mapTo(&row, QPoint(0, 0)), child->size()));
    return rects;
}

} // namespace

Q_DECLARE_METATYPE(Change)

class tst_SteadyBoxLayout : public QObject
{
    Q_OBJECT

private slots:
    void matchesPlainLayout_data();
    void matchesPlainLayout();
};

void tst_SteadyBoxLayout::matchesPlainLayout_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<bool>("quiet"); // the steady layout keeps the change to itself

    const auto row = [](const char* name, Change change, bool quiet = false) {
        QTest::newRow(name) << change << quiet;
    };
    row(
        "same width text", [](SRow& r) { r.first->setText(QStringLiteral("1 / 8,330 samples")); },
        true);
    row(
        "narrower rich text", [](SRow& r) { r.second->setText(QStringLiteral("<b>Stopped</b>")); },
        true);
    row("text wider than the minimum",
        [](SRow& r) { r.first->setText(QStringLiteral("123,456,789,012 / 8,330 samples")); });
    row("rich text wider",
        [](SRow& r) { r.second->setText(QStringLiteral("<b>Measuring for a long while</b>")); });
    row("label hidden", [](SRow& r) { r.second->hide(); });
    row("label hidden and shown", [](SRow& r) {
        r.second->hide();
        SRow::settle();
        r.second->show();
    });
    row("font of the section", [](SRow& r) {
        QFont font = r.section->parentWidget()->font();
        font.setPointSize(font.pointSize() + 5);
        r.section->parentWidget()->setFont(font);
    });
    row("bold label", [](SRow& r) {
        QFont font = r.first->font();
        font.setBold(true);
        r.first->setFont(font);
    });
    row("spacing", [](SRow& r) { r.section->setSpacing(3); });
    row("margins", [](SRow& r) { r.section->setContentsMargins(4, 2, 4, 2); });
    row("stretch", [](SRow& r) { r.section->setStretch(2, 1); });
    row("minimum width", [](SRow& r) { r.first->setMinimumWidth(300); });
    row("fixed height", [](SRow& r) { r.second->setFixedHeight(30); });
    row("size policy",
        [](SRow& r) { r.second->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed); });
    row("alignment", [](SRow& r) { r.section->setAlignment(r.second, Qt::AlignTop); });
    row("right to left",
        [](SRow& r) { r.section->parentWidget()->setLayoutDirection(Qt::RightToLeft); });
    row("label added", [](SRow& r) { r.section->addWidget(new QLabel(QStringLiteral("FW 01"))); });
    row("label moved by hand, then same width text", [](SRow& r) {
        r.first->move(r.first->pos() + QPoint(5, 3));
        r.first->setText(QStringLiteral("2 / 8,330 samples"));
    });
    row("label deleted", [](SRow& r) { delete r.second; });
    row("row narrower", [](SRow& r) { r.row.resize(150, 40); });
    row("row taller", [](SRow& r) { r.row.resize(600, 90); });
}

void tst_SteadyBoxLayout::matchesPlainLayout()
{
    QFETCH(Change, change);
    QFETCH(bool, quiet);

    SRow plain(new QHBoxLayout);
    SRow steady(new SteadyBoxLayout);
    change(plain);
    change(steady);
    SRow::settle();

    QCOMPARE(geometries(steady.row), geometries(plain.row));
    QCOMPARE(steady.section->parentWidget()->sizeHint(), plain.section->parentWidget()->sizeHint());
    QCOMPARE(steady.row.grab().toImage(), plain.row.grab().toImage());
    if (quiet) {
        QVERIFY(plain.requests.count > 0);
        QCOMPARE(steady.requests.count, 0);
    }
}

QTEST_MAIN(tst_SteadyBoxLayout)
#include "tst_steadyboxlayout.moc"
