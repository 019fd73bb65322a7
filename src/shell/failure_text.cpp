#include "shell/failure_text.h"

#include "core/design.h"

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

} // namespace

QString shell::describeFailure(const Failure &f)
{
    using Kind = Failure::Kind;
    const QString file = QDir::toNativeSeparators(f.path);
    const QString table = ExperimentTableName;
    QString what;
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
    case Kind::System:
        what = systemText(f);
        break;
    case Kind::Busy:
        what = QStringLiteral("数据库正被其他程序占用，请稍后再试");
        break;
    case Kind::ReadOnly:
        what = QStringLiteral("数据库文件是只读的，无法写入");
        break;
    case Kind::HotJournal:
        what = QStringLiteral("数据库上次没有正常关闭，留有待恢复的日志文件；只读打开时无法恢复，"
                              "请先用本程序的窗口打开一次");
        break;
    case Kind::Moved:
        what = QStringLiteral("数据库文件已被删除或移走");
        break;
    case Kind::Damaged:
        what = QStringLiteral("数据库文件已损坏");
        break;
    case Kind::DiskFull:
        what = QStringLiteral("磁盘已满");
        break;
    case Kind::Io:
        what = QStringLiteral("读写磁盘时出错");
        break;
    case Kind::CannotOpen:
        what = QStringLiteral("无法打开数据库文件");
        break;
    case Kind::Interrupted:
        what = QStringLiteral("数据库的查询长时间没有结果，已中止（表的触发器或定义可能无限循环）");
        break;
    case Kind::OutOfMemory:
        what = QStringLiteral("内存不足或数据过大");
        break;
    case Kind::Constraint:
        what = QStringLiteral("数据库的约束拒绝了这个值");
        break;
    case Kind::Engine:
        what = QStringLiteral("数据库出错");
        break;
    }
    // The engine's own words are English: they go to a message's details, never into the text.
    if (f.kind == Kind::Engine && f.code != 0)
        return QStringLiteral("%1（错误码 %2）").arg(what).arg(f.code);
    return what;
}

QString shell::failureDetails(const Failure &f)
{
    return f.detail;
}
