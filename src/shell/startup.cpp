#include "core/scratch_file.h"
#include "pipeline/record_change.h"
#include "shell/access_conversion.h"
#include "shell/failure_text.h"
#include "shell/form1.h"
#include "shell/form_defaults.h"
#include "store/sample_db.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>

#include <unistd.h>

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
        if (opened.failure().kind == Failure::Kind::AccessFile) {
            openAccessFile(path);
            return;
        }
        // The navigator reports why; start-up itself stays silent and the window opens empty.
        // Without any database file, a new empty one is offered, created only on request.
        const QString reason = shell::describeFailure(opened.failure());
        m_model->reload();
        Data1->showFailure(reason);
        const Failure::Kind kind = opened.failure().kind;
        grid->showFailure(reason, kind == Failure::Kind::Missing
                                      ? ExperimentGrid::Offer::NewDatabase
                                  : kind == Failure::Kind::NoTable ? ExperimentGrid::Offer::NewTable
                                                                   : ExperimentGrid::Offer::None);
        return;
    }
    showTable(QString());
}

void Form1::showTable(const QString &readOnlyReason)
{
    grid->showFailure(QString());
    m_model->reload();
    m_model->setReadOnly(readOnlyReason);
    Data1->setReadOnly(readOnlyReason);
    Data1->setPosition(-1, m_table.count(), !m_table.complete());
    reloadDefinitions();
    if (m_table.count() > 0)
        moveTo(0);
}

namespace {

// A name beside `path` that no file has yet: "配方数据.Access备份.mdb", then "…备份2.mdb", ...
QString freeBackupName(const QString &path, const QString &kind = QStringLiteral("Access备份"))
{
    const QFileInfo info(path);
    for (int n = 1;; ++n) {
        const QString name = info.dir().filePath(info.completeBaseName() + QLatin1Char('.') + kind +
                                                 (n > 1 ? QString::number(n) : QString()) +
                                                 QLatin1Char('.') + info.suffix());
        if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink())
            return name;
    }
}

} // namespace

void Form1::openAccessFile(const QString &path)
{
    const QString backup = freeBackupName(path);
    const QString title = QStringLiteral("Access 数据库");
    if (!m_accessOffered) {
        m_accessOffered = true;
        if (m_dialogs->askYesNo(title,
                                QStringLiteral("这是 Access 数据库文件。转换为本程序的格式后即可"
                                               "浏览和编辑；原文件将保留为“%1”。\n现在转换吗？")
                                    .arg(QFileInfo(backup).fileName()))) {
            const Result<TableAnswer> done = convertInto(path, path, backup);
            if (done && *done == TableAnswer::Import) {
                openTable();
                return;
            }
            if (done && *done == TableAnswer::AnotherFile) {
                importAccessDatabase();
                if (m_table.isOpen())
                    return;
            } else if (!done && done.failure().kind != Failure::Kind::Cancelled) {
                m_dialogs->warn(title,
                                QStringLiteral("没有转换，原文件未被改动：%1")
                                    .arg(shell::describeFailure(done.failure())),
                                shell::failureDetails(done.failure()));
            }
        }
    }
    // Not converted: the records read-only, from a conversion in a scratch folder.
    m_accessCopy = std::make_unique<QTemporaryDir>();
    const QString copy = m_accessCopy->filePath(DatabaseFileName);
    Result<void> opened = convertAccess(path, copy);
    if (opened)
        opened = m_table.open(copy, ExperimentTable::Mode::ReadOnly);
    if (!opened) {
        Failure why = opened.failure();
        why.path = path;
        const QString reason = shell::describeFailure(why);
        m_model->reload();
        Data1->showFailure(reason);
        grid->showFailure(reason);
        return;
    }
    showTable(QStringLiteral("只读：“%1”是 Access 数据库文件，没有转换为本程序的格式，不能修改")
                  .arg(QDir::toNativeSeparators(path)));
}

Result<void> Form1::placeConversion(const QString &converted, const QString &target,
                                    const QString &backup)
{
    // Crash-safe at every step: the file at `target` gets its second name first (both names,
    // one whole file: a hard link, or a whole copy where the file system has none); the
    // conversion then takes the name in one rename.
    if (QFileInfo::exists(target) &&
        ::link(QFile::encodeName(target).constData(), QFile::encodeName(backup).constData()) != 0 &&
        !QFile::copy(target, backup))
        return Failure{Failure::Kind::System, backup, QStringLiteral("backup"), 0};
    if (::rename(QFile::encodeName(converted).constData(), QFile::encodeName(target).constData()) !=
        0)
        return systemFailure(target, errno);
    return {};
}

Result<Form1::TableAnswer> Form1::convertInto(const QString &source, const QString &target,
                                              const QString &backup)
{
    // Written aside under a fresh name (complete or absent), put in place only when wanted.
    const QString converted = ScratchFile::freshName(QFileInfo(target).absolutePath());
    if (const Result<void> done = convertAccess(source, converted); !done)
        return done.failure();
    Result<TableAnswer> settled = settleExperimentTable(source, converted);
    if (settled && *settled == TableAnswer::Import) {
        if (const Result<void> placed = placeConversion(converted, target, backup); !placed)
            settled = placed.failure();
    }
    if (!settled || *settled != TableAnswer::Import)
        QFile::remove(converted); // ours: the conversion just made it, and it stays unused
    return settled;
}

Result<Form1::TableAnswer> Form1::settleExperimentTable(const QString &source,
                                                        const QString &converted)
{
    const Result<QStringList> tables = sample_db::tableNames(converted);
    if (!tables)
        return tables.failure();
    if (tables->contains(ExperimentTableName, Qt::CaseInsensitive))
        return TableAnswer::Import;
    const int choice = m_dialogs->askChoice(
        QStringLiteral("没有实验表"),
        QStringLiteral("“%1”中没有实验表“%2”%3。\n可以照样导入，并新建一个空的实验表（文件原有的"
                       "表都保留）；也可以选择其他文件。")
            .arg(QFileInfo(source).fileName(), ExperimentTableName,
                 tables->isEmpty()
                     ? QStringLiteral("，也没有其他的表")
                     : QStringLiteral("（只有：%1）").arg(tables->join(QStringLiteral("、")))),
        {QStringLiteral("导入并新建实验表"), QStringLiteral("选择其他文件…"),
         QStringLiteral("取消")});
    if (choice != 0)
        return choice == 1 ? TableAnswer::AnotherFile : TableAnswer::Cancel;
    if (const Result<void> added = sample_db::addExperimentTable(converted); !added)
        return added.failure();
    return TableAnswer::Import;
}

void Form1::importAccessDatabase()
{
    const QString title = QStringLiteral("导入 Access 文件");
    const QString target = m_state.AppFolder + DatabaseFileName;
    for (;;) {
        const QString source = m_dialogs->askOpenFile(
            title, QStringLiteral("Access 数据库 (*.mdb *.accdb);;所有文件 (*)"));
        if (source.isEmpty())
            return;
        // Beside no database, or after the database without an experiment table got a second
        // name (kept whole).
        const Result<TableAnswer> done =
            convertInto(source, target, freeBackupName(target, QStringLiteral("备份")));
        if (done && *done == TableAnswer::AnotherFile)
            continue;
        if (done && *done == TableAnswer::Import)
            openTable();
        else if (!done && done.failure().kind != Failure::Kind::Cancelled)
            m_dialogs->warn(
                title, QStringLiteral("没有导入：%1").arg(shell::describeFailure(done.failure())),
                shell::failureDetails(done.failure()));
        return;
    }
}

Result<void> Form1::convertAccess(const QString &accessPath, const QString &sqlitePath)
{
    const QString tool = m_options.importTool.isEmpty() ? QCoreApplication::applicationDirPath() +
                                                              QStringLiteral("/tesmora-cli")
                                                        : m_options.importTool;
    return convertAccessFile(this, tool, accessPath, sqlitePath);
}

void Form1::createDatabase()
{
    // A database without an experiment table gets one; without any file, a new database.
    const QString path = m_state.AppFolder + DatabaseFileName;
    const bool exists = QFileInfo::exists(path);
    const Result<void> created =
        exists ? sample_db::addExperimentTable(path) : sample_db::writeEmpty(path);
    if (!created) {
        m_dialogs->warn(
            exists ? QStringLiteral("新建实验表") : QStringLiteral("新建空数据库"),
            QStringLiteral("无法新建：%1").arg(shell::describeFailure(created.failure())),
            shell::failureDetails(created.failure()));
        return;
    }
    openTable();
}
