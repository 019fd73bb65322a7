#pragma once

// Converting an Access file into a new SQLite file through `tesmora-cli import`, in a process of
// its own (a hostile file cannot crash, hang or exhaust the window), while the window stays
// responsive: a progress dialog names the table being read and can cancel the conversion.
// Only a bounded tail of what the child says is kept.

#include "core/result.h"

#include <QString>

class QWidget;

// Runs `tool import source --out target` and waits for it with the event loop running.
// `target` must not exist; it is created whole or not at all.
Result<void> convertAccessFile(QWidget *parent, const QString &tool, const QString &source,
                               const QString &target);
