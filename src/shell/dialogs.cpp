#include "shell/dialogs.h"

#include "shell/map_size_dialog.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

Dialogs::~Dialogs() = default;

namespace {

// Shows a message box over the window, or centred on the screen while the window is not yet
// shown (a question at start-up would otherwise stand at the screen's corner).
int run(QMessageBox &box, QWidget *parent)
{
    box.adjustSize();
    const QRect area =
        parent && parent->isVisible()
            ? parent->frameGeometry()
            : (parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen())
                  ->availableGeometry();
    box.move(area.center() - box.rect().center());
    return box.exec();
}

} // namespace

bool MessageBoxDialogs::askYesNo(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return run(box, m_parent) == QMessageBox::Yes;
}

void MessageBoxDialogs::warn(const QString &title, const QString &text)
{
    warn(title, text, QString());
}

void MessageBoxDialogs::warn(const QString &title, const QString &text, const QString &details)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, m_parent);
    if (!details.isEmpty())
        box.setDetailedText(details);
    run(box, m_parent);
}

int MessageBoxDialogs::askChoice(const QString &title, const QString &text,
                                 const QStringList &answers)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, m_parent);
    QList<QAbstractButton *> buttons;
    for (qsizetype i = 0; i < answers.size(); ++i)
        buttons << box.addButton(answers[i], i + 1 == answers.size() ? QMessageBox::RejectRole
                                                                     : QMessageBox::AcceptRole);
    box.setDefaultButton(qobject_cast<QPushButton *>(buttons.last()));
    box.setEscapeButton(buttons.last());
    run(box, m_parent);
    const qsizetype chosen = buttons.indexOf(box.clickedButton());
    return chosen < 0 ? int(answers.size()) - 1 : int(chosen);
}

void MessageBoxDialogs::inform(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, m_parent);
    run(box, m_parent);
}

QString MessageBoxDialogs::askSaveFile(const QString &title, const QString &suggested,
                                       const QString &filters)
{
    return QFileDialog::getSaveFileName(m_parent, title, suggested, filters);
}

QString MessageBoxDialogs::askOpenFile(const QString &title, const QString &filters)
{
    return QFileDialog::getOpenFileName(m_parent, title, QString(), filters);
}

std::optional<MapSize> MessageBoxDialogs::askMapSize(const QString &title, const MapSize &last,
                                                     bool bitmap)
{
    MapSizeDialog dialog(last, bitmap, m_parent);
    dialog.setWindowTitle(title);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen();
}

Long DialogColorPicker::ShowColor()
{
    const QColor chosen = QColorDialog::getColor(m_color, m_parent);
    if (chosen.isValid())
        m_color = chosen;
    return packedColour(m_color.red(), m_color.green(), m_color.blue());
}
