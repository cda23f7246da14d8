// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Puts what was written to a file onto the disk itself, past the system's
// cache, so that a power cut cannot take it any more: the file's data, and
// the directory entry of a file just created.
#pragma once

#include <QString>

class QFileDevice;

namespace DurableFile {

// The data written to the open file so far (and what is needed to read it
// back); false with the reason when the disk did not confirm it.
bool syncData(QFileDevice& file, QString* reason = nullptr);
// The folder's entries, so that a file created in it is found after a power cut.
bool syncDirectory(const QString& path);

} // namespace DurableFile
