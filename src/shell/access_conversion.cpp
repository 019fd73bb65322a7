#include "shell/access_conversion.h"

#include "core/failure_json.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProgressDialog>
#include <QTimer>

namespace {

// What is kept of the child's standard error: its last lines, never more than this.
constexpr qsizetype KeptTail = 64 * 1024;
// A cancelled child gets this long to remove its scratch file before it is killed.
constexpr int TerminateGraceMs = 3000;

// The child's own word on what went wrong, from its last failure line.
std::optional<Failure> failureOf(const QByteArray &tail)
{
    const QByteArray prefix(FailureJsonPrefix);
    const qsizetype at = tail.lastIndexOf("\n" + prefix);
    const qsizetype start = tail.startsWith(prefix) ? 0 : at < 0 ? -1 : at + 1;
    if (start < 0)
        return std::nullopt;
    const qsizetype end = tail.indexOf('\n', start);
    const QByteArray json =
        tail.mid(start + prefix.size(), end < 0 ? -1 : end - start - prefix.size());
    return failureFromJson(QJsonDocument::fromJson(json).object());
}

QString lastLine(const QByteArray &tail)
{
    const qsizetype end = tail.endsWith('\n') ? tail.size() - 1 : tail.size();
    const qsizetype start = tail.lastIndexOf('\n', end - 1) + 1;
    return QString::fromUtf8(tail.mid(start, end - start)).left(200);
}

} // namespace

Result<void> convertAccessFile(QWidget *parent, const QString &tool, const QString &source,
                               const QString &target)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(FailureJsonVariable), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setStandardOutputFile(QProcess::nullDevice());

    const QString text = QStringLiteral("正在转换“%1”…").arg(QFileInfo(source).fileName());
    QProgressDialog progress(text, QStringLiteral("取消"), 0, 0, parent);
    progress.setWindowTitle(QStringLiteral("Access 数据库"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setValue(0); // shown once the conversion has taken longer than the minimum

    QByteArray tail;
    bool cancelled = false;
    QEventLoop loop;
    QObject::connect(&child, &QProcess::readyReadStandardError, [&] {
        tail += child.readAllStandardError();
        if (tail.size() > 2 * KeptTail)
            tail = tail.right(KeptTail);
    });
    // The label follows the child's last line a few times a second, however fast it talks.
    QTimer label;
    QObject::connect(&label, &QTimer::timeout, &progress,
                     [&] { progress.setLabelText(text + QLatin1Char('\n') + lastLine(tail)); });
    label.start(250);
    QObject::connect(&child, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&child, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            loop.quit();
    });
    const QMetaObject::Connection cancel =
        QObject::connect(&progress, &QProgressDialog::canceled, &loop, [&] {
            cancelled = true;
            child.terminate(); // the child removes its scratch file and ends
            QTimer::singleShot(TerminateGraceMs, &child, &QProcess::kill);
        });
    child.start(tool, {QStringLiteral("import"), source, QStringLiteral("--out"), target});
    if (child.state() != QProcess::NotRunning)
        loop.exec();
    QObject::disconnect(cancel); // closing the dialog says "cancelled" too
    progress.close();
    if (child.error() == QProcess::FailedToStart)
        return Failure{Failure::Kind::System, tool, child.errorString(), 0};
    tail += child.readAllStandardError();
    if (cancelled)
        return Failure{Failure::Kind::Cancelled, source, {}, 0};
    if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0)
        return {};
    if (const std::optional<Failure> said = failureOf(tail.right(KeptTail)))
        return *said;
    return Failure{Failure::Kind::Damaged, source, QStringLiteral("转换程序异常结束"), 0};
}
