#include "analysis/sample_db.h"
#include "pipeline/record_change.h"
#include "shell/failure_text.h"
#include "shell/form1.h"

#include <QDir>

#include <cmath>

bool Form1::Form_Load()
{
    // Single instance. A lock left by a crashed run names a dead process and is taken over;
    // a lock folder we cannot write must not keep the program from starting.
    if (!m_options.lockPath.isEmpty()) {
        auto lock = std::make_unique<QLockFile>(m_options.lockPath);
        lock->setStaleLockTime(0); // never age out the lock of a long-running first instance
        if (lock->tryLock(0)) {
            m_lock = std::move(lock);
        } else if (lock->error() == QLockFile::LockFailedError) {
            m_state.MessageText = QStringLiteral("程序正在运行，请检查窗口是否被最小化。");
            m_state.MessageTitle = QStringLiteral("程序已运行");
            m_dialogs->warn(m_state.MessageTitle, m_state.MessageText);
            return false;
        }
    }

    // Program folder, defaults, design matrix and constants.
    initializeFormState(m_state, m_options.appPath);

    // The drawing surface: a 4095-unit square at (50, 320), framed 50 twips outside.
    const int side = m_state.PlotSize + m_state.PlotLeft + m_state.PlotTop;
    place(Picture1, 50, 320, side, side);
    // One surface pixel per device pixel, so the map stays sharp on high-density screens.
    Picture1->resizeSurface(int(std::lround(Picture1->width() * Picture1->devicePixelRatioF())));
    surface().DrawWidth = 1;
    place(Image1, 50 - 50, 320 - 50, side + 100, side + 100);

    Picture1->setFocus();

    // Options, then the table; opening it shows the first record.
    Check1->setChecked(true);
    Check2->setChecked(true);
    Check3->setChecked(false);
    openTable();
    return true;
}

void Form1::openTable()
{
    const QString path = m_state.AppFolder + DatabaseFileName;
    if (const Result<void> opened = m_table.open(path, ExperimentTable::Mode::ReadWrite); !opened) {
        // The navigator reports why; start-up itself stays silent and the window opens empty.
        // Without any database file, a new empty one is offered, created only on request.
        const QString reason = shell::describeFailure(opened.failure());
        m_model->reload();
        Data1->showFailure(reason);
        grid->showFailure(reason, opened.failure().kind == Failure::Kind::Missing);
        return;
    }
    grid->showFailure(QString());
    m_model->reload();
    Data1->setPosition(-1, m_table.count(), !m_table.complete());
    if (m_table.count() > 0)
        moveTo(0);
}

void Form1::createDatabase()
{
    const QString path = m_state.AppFolder + DatabaseFileName;
    if (const Result<void> created = sample_db::writeEmpty(path); !created) {
        m_dialogs->warn(
            QStringLiteral("新建空数据库"),
            QStringLiteral("无法新建数据库：%1").arg(shell::describeFailure(created.failure())));
        return;
    }
    openTable();
}
