// The window's real units: the factor definitions of the records, the answers in real units,
// the run sheet.

#include "shell/form1.h"

#include "shell/failure_text.h"
#include "shell/run_sheet_dialog.h"

#include <QSet>

void Form1::reloadDefinitions()
{
    const Result<FactorDefinitions> read = m_table.factorDefinitions();
    m_state.Definitions = read ? *read : FactorDefinitions();
    if (!read)
        m_dialogs->warn(QStringLiteral("因素与单位"),
                        QStringLiteral("无法读取“%1”中的因素定义，图和分析按编码单位显示：%2")
                            .arg(QDir::toNativeSeparators(m_table.path()),
                                 shell::describeFailure(read.failure())),
                        shell::failureDetails(read.failure()));
}

void Form1::setRealUnits(bool on)
{
    // Like the other options: it takes effect at the next record change.
    m_state.RealUnits = on;
}

void Form1::editFactors()
{
    const QString title = QStringLiteral("因素与单位");
    const bool current = m_current >= 0 && m_current < m_table.count();
    if (!current || !m_record.fields.idNumber) {
        m_dialogs->warn(title, QStringLiteral("当前记录没有数字 ID，无法为它定义因素。"));
        return;
    }
    const double id = *m_record.fields.idNumber;
    // The records read so far with an ID of their own, each ID once.
    QList<std::pair<QString, double>> records;
    QSet<double> seen;
    for (int i = 0; i < m_table.count(); ++i) {
        const auto number = m_table.field(i, IdField).asNumber();
        if (number && !seen.contains(*number)) {
            seen.insert(*number);
            records.append({recordIdText(*number), *number});
        }
    }
    const auto stored = m_state.Definitions.constFind(id);
    auto *dialog = new FactorDialog(stored != m_state.Definitions.cend() ? std::optional(*stored)
                                                                         : std::nullopt,
                                    records, id, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &FactorDialog::submitted, this, [this, dialog] { saveFactors(*dialog); });
    dialog->open();
}

void Form1::saveFactors(FactorDialog &dialog)
{
    const Checked<Factors> factors = dialog.factors();
    if (!factors) {
        dialog.showProblem(factors.error());
        return;
    }
    const QList<double> ids = dialog.chosenRecords();
    if (ids.isEmpty()) {
        dialog.showProblem(QStringLiteral("请至少选择一条记录。"));
        return;
    }
    // Not saved: said in the dialog, and what was typed stays for another try.
    if (const Result<void> saved = m_table.saveFactors(ids, *factors); !saved) {
        dialog.showProblem(
            QStringLiteral("没有保存：%1").arg(shell::describeFailure(saved.failure())));
        return;
    }
    dialog.accept();
    reloadDefinitions();
    if (m_state.RealUnits)
        redrawCurrent();
}

void Form1::showRunSheet()
{
    const QString title = QStringLiteral("试验方案");
    const bool current = m_current >= 0 && m_current < m_table.count();
    const auto stored = current && m_record.fields.idNumber
                            ? m_state.Definitions.constFind(*m_record.fields.idNumber)
                            : m_state.Definitions.cend();
    if (stored == m_state.Definitions.cend()) {
        m_dialogs->inform(title, QStringLiteral("这条记录还没有定义因素：请先用“因素与单位…”"
                                                "定义 X1 和 X2 的名称、单位与水平。"));
        return;
    }
    auto *dialog =
        new RunSheetDialog(m_record.fields.id, *stored, *m_dialogs, m_state.AppFolder, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}
