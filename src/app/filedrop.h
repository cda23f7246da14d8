// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Measurement files dropped on a window: a drag that carries a local .csv
// file is accepted, and its drop reported once the drop has ended (so that
// whoever opens the file may ask and report in dialogs). GUI thread only.
#pragma once

#include <QObject>
#include <QString>

class QMimeData;
class QWidget;

class FileDrop : public QObject
{
    Q_OBJECT

public:
    // Lets `target` accept drops; the object belongs to it.
    explicit FileDrop(QWidget* target);

    // The first local file named .csv (any case) that the data carry, or nothing.
    static QString measurementFile(const QMimeData* data);

signals:
    void dropped(const QString& fileName);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
