#include "shell/dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

Dialogs::~Dialogs() = default;

bool MessageBoxDialogs::askYesNo(const QString &title, const QString &text)
{
    return QMessageBox::question(m_parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void MessageBoxDialogs::warn(const QString &title, const QString &text)
{
    QMessageBox::warning(m_parent, title, text, QMessageBox::Ok);
}

void MessageBoxDialogs::inform(const QString &title, const QString &text)
{
    QMessageBox::information(m_parent, title, text, QMessageBox::Ok);
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

Long DialogColorPicker::ShowColor()
{
    const QColor chosen = QColorDialog::getColor(m_color, m_parent);
    if (chosen.isValid())
        m_color = chosen;
    return Long(m_color.red()) | Long(m_color.green()) << 8 | Long(m_color.blue()) << 16;
}
