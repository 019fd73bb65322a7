#include "shell/factor_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QVBoxLayout>

#include <cmath>

namespace {

QString levelText(double v)
{
    return QString::number(v, 'g', 15);
}

} // namespace

QString factorFaultWords(FactorFault fault, const QString &axis)
{
    switch (fault) {
    case FactorFault::NoName:
        return QStringLiteral("%1 没有名称。").arg(axis);
    case FactorFault::LowNotFinite:
        return QStringLiteral("%1 的 -1 水平不是数。").arg(axis);
    case FactorFault::HighNotFinite:
        return QStringLiteral("%1 的 +1 水平不是数。").arg(axis);
    case FactorFault::EqualLevels:
        return QStringLiteral("%1 的 -1 与 +1 水平相同。").arg(axis);
    case FactorFault::TooFarApart:
        return QStringLiteral("%1 的两个水平相差太大。").arg(axis);
    }
    return {};
}

FactorDialog::FactorDialog(const std::optional<Factors> &start,
                           const QList<std::pair<QString, double>> &ids, double current,
                           QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("因素与单位"));
    auto *grid = new QGridLayout;
    const QStringList heads{QStringLiteral("名称"), QStringLiteral("单位"),
                            QStringLiteral("编码 -1 的值"), QStringLiteral("编码 +1 的值")};
    for (int c = 0; c < heads.size(); ++c)
        grid->addWidget(new QLabel(heads[c]), 0, c + 1);
    for (int i = 0; i < 2; ++i) {
        const Factor *f = start ? (i == 0 ? &start->x1 : &start->x2) : nullptr;
        grid->addWidget(new QLabel(i == 0 ? QStringLiteral("X1") : QStringLiteral("X2")), i + 1, 0);
        name[i] = new QLineEdit(f ? f->name : QString());
        unit[i] = new QLineEdit(f ? f->unit : QString());
        low[i] = new QLineEdit(f ? levelText(f->low) : QString());
        high[i] = new QLineEdit(f ? levelText(f->high) : QString());
        QLineEdit *row[] = {name[i], unit[i], low[i], high[i]};
        for (int c = 0; c < 4; ++c)
            grid->addWidget(row[c], i + 1, c + 1);
    }
    records = new QListWidget;
    for (const auto &[text, id] : ids) {
        auto *item = new QListWidgetItem(QStringLiteral("ID %1").arg(text), records);
        item->setData(Qt::UserRole, id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(id == current ? Qt::Checked : Qt::Unchecked);
    }
    m_problem = new QLabel;
    m_problem->setStyleSheet(QStringLiteral("color: #b00020"));
    m_problem->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &FactorDialog::submitted);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(new QLabel(QStringLiteral("同一组 11 次试验的记录共用这一定义，应用于：")));
    layout->addWidget(records);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
}

Checked<Factors> FactorDialog::factors() const
{
    Factors f;
    for (int i = 0; i < 2; ++i) {
        const QString axis = i == 0 ? QStringLiteral("X1") : QStringLiteral("X2");
        Factor &x = i == 0 ? f.x1 : f.x2;
        x.name = name[i]->text().trimmed();
        x.unit = unit[i]->text().trimmed();
        bool lowOk = false, highOk = false;
        x.low = QLocale::c().toDouble(low[i]->text().trimmed(), &lowOk);
        x.high = QLocale::c().toDouble(high[i]->text().trimmed(), &highOk);
        if (!lowOk)
            x.low = NAN;
        if (!highOk)
            x.high = NAN;
        if (const auto fault = factorFault(x))
            return Checked<Factors>::refused(factorFaultWords(*fault, axis));
    }
    return f;
}

QList<double> FactorDialog::chosenRecords() const
{
    QList<double> chosen;
    for (int i = 0; i < records->count(); ++i) {
        if (records->item(i)->checkState() == Qt::Checked)
            chosen << records->item(i)->data(Qt::UserRole).toDouble();
    }
    return chosen;
}

void FactorDialog::showProblem(const QString &text)
{
    m_problem->setText(text);
}
