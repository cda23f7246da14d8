// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "filedrop.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

FileDrop::FileDrop(QWidget* target) : QObject(target)
{
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

QString FileDrop::measurementFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls())
        return QString();
    const QList<QUrl> urls = data->urls();
    for (const QUrl& url : urls) {
        if (url.isLocalFile() &&
            url.toLocalFile().endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
            return url.toLocalFile();
    }
    return QString();
}

bool FileDrop::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (measurementFile(drag->mimeData()).isEmpty())
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString fileName = measurementFile(drop->mimeData());
        if (fileName.isEmpty())
            return false;
        drop->acceptProposedAction();
        // A modal dialog within the drop would hold up the dragging program.
        QTimer::singleShot(0, this, [this, fileName] { emit dropped(fileName); });
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

// Compiled here rather than in the library's shared moc unit, so that a program
// using only the graph widget does not pull in the windows and the sensor.
#include "moc_filedrop.cpp"
