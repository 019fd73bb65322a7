#include "shell/failure_text.h"

#include "core/design.h"

#include <optional>

#include <QDir>

#include <cerrno>

namespace {

QString systemText(const Failure &f)
{
    switch (f.code) {
    case ENOSPC:
        return QStringLiteral("磁盘已满");
    case EDQUOT:
        return QStringLiteral("超出了磁盘配额");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有写入权限");
    case EROFS:
        return QStringLiteral("文件系统是只读的");
    case EFBIG:
        return QStringLiteral("文件超过了允许的大小");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("文件夹不存在");
    case EIO:
        return QStringLiteral("读写磁盘时出错");
    default:
        return QStringLiteral("系统错误");
    }
}

QString nodeText(const QString &what)
{
    if (what == QLatin1String("symlink"))
        return QStringLiteral("符号链接");
    if (what == QLatin1String("folder"))
        return QStringLiteral("文件夹");
    if (what == QLatin1String("device"))
        return QStringLiteral("设备");
    if (what == QLatin1String("fifo"))
        return QStringLiteral("管道");
    return QStringLiteral("特殊文件");
}

using Kind = Failure::Kind;

// The kinds said whole, with the file or what it is; nothing for the engine's kinds.
std::optional<QString> wholeMessage(const Failure &f)
{
    const QString file = QDir::toNativeSeparators(f.path);
    const QString table = ExperimentTableName;
    switch (f.kind) {
    case Kind::Missing:
        return QStringLiteral("找不到数据库文件“%1”").arg(file);
    case Kind::NotAFile:
        return QStringLiteral("“%1”不是文件").arg(file);
    case Kind::CannotRead:
        return QStringLiteral("无法读取“%1”：%2").arg(file, f.detail);
    case Kind::Empty:
        return QStringLiteral("“%1”是空文件，不是数据库（文件未被改动）").arg(file);
    case Kind::NotSqlite:
        return QStringLiteral("“%1”不是 SQLite 数据库文件（文件未被改动）").arg(file);
    case Kind::AccessFile:
        return QStringLiteral("“%1”是旧的 Access 数据库文件，本程序无法读取（文件未被改动）")
            .arg(file);
    case Kind::Encrypted:
        return QStringLiteral("“%1”已加密，请先在 Access 中解除加密").arg(file);
    case Kind::NotAccess:
        return QStringLiteral("“%1”不是 Access 数据库文件（文件未被改动）").arg(file);
    case Kind::NoTable:
        return QStringLiteral("数据库“%1”中没有表“%2”").arg(file, table);
    case Kind::View:
        return QStringLiteral("“%1”中的“%2”是视图，不是表；本程序只读写普通的表").arg(file, table);
    case Kind::NotOrdinaryTable:
        return QStringLiteral("“%1”中的“%2”不是普通的表（%3），本程序不读取它")
            .arg(file, table, f.detail);
    case Kind::NoRowKey:
        return QStringLiteral("“%1”中的表“%2”没有可用的行号（WITHOUT ROWID 表，或列名占用了 "
                              "_rowid_、rowid 和 oid），无法可靠地找到和修改记录")
            .arg(file, table);
    case Kind::NoRecord:
        return QStringLiteral("没有这条记录");
    case Kind::ChangedElsewhere:
        return QStringLiteral("这条记录已被其他程序修改，输入的值没有写入（请看表格中的最新内容）");
    case Kind::DeletedElsewhere:
        return QStringLiteral("这条记录已被其他程序删除");
    case Kind::Exists:
        return QStringLiteral("“%1”已存在，未覆盖").arg(file);
    case Kind::SameFile:
        return QStringLiteral("“%1”不能既是原文件又是新文件").arg(file);
    case Kind::Cancelled:
        return QStringLiteral("已取消，没有写入任何文件");
    case Kind::NotRegularOutput:
        return QStringLiteral("“%1”是%2，不是普通文件；不会写入或替换它")
            .arg(file, nodeText(f.detail));
    default:
        return std::nullopt;
    }
}

// What the engine's kinds mean.
QString engineWords(const Failure &f)
{
    switch (f.kind) {
    case Kind::System:
        return systemText(f);
    case Kind::Busy:
        return QStringLiteral("数据库正被其他程序占用，请稍后再试");
    case Kind::ReadOnly:
        return QStringLiteral("数据库文件是只读的，无法写入");
    case Kind::HotJournal:
        return QStringLiteral("数据库上次没有正常关闭，留有待恢复的日志文件；只读打开时无法恢复，"
                              "请先用本程序的窗口打开一次");
    case Kind::Moved:
        return QStringLiteral("数据库文件已被删除或移走");
    case Kind::Damaged:
        return QStringLiteral("数据库文件已损坏");
    case Kind::DiskFull:
        return QStringLiteral("磁盘已满");
    case Kind::Io:
        return QStringLiteral("读写磁盘时出错");
    case Kind::CannotOpen:
        return QStringLiteral("无法打开数据库文件");
    case Kind::Interrupted:
        return QStringLiteral("数据库的查询长时间没有结果，已中止（表的触发器或定义可能无限循环）");
    case Kind::OutOfMemory:
        return QStringLiteral("内存不足或数据过大");
    case Kind::Constraint:
        return QStringLiteral("数据库的约束拒绝了这个值");
    case Kind::Engine:
        return QStringLiteral("数据库出错");
    default:
        return {};
    }
}

} // namespace

QString shell::describeFailure(const Failure &f)
{
    if (const std::optional<QString> whole = wholeMessage(f))
        return *whole;
    const QString what = engineWords(f);
    // The engine's own words are English: they go to a message's details, never into the text.
    if (f.kind == Kind::Engine && f.code != 0)
        return QStringLiteral("%1（错误码 %2）").arg(what).arg(f.code);
    return what;
}

QString shell::failureDetails(const Failure &f)
{
    return f.detail;
}
