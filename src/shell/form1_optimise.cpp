// The window's multi-response optimisation: the goals dialog, the goal map in the map area,
// the goals kept in the database.

#include "shell/form1.h"

#include "pipeline/goal_map.h"
#include "shell/failure_text.h"
#include "stats/multi_optimum.h"

#include <QDir>
#include <QScreen>

#include <QSet>

void Form1::showOptimise()
{
    if (m_optimise) {
        m_optimise->show();
        m_optimise->raise();
        return;
    }
    // The records read so far with an ID of their own, each with its exact fit; the goals of
    // one experiment are on a handful of records, and a row of editors each stays usable.
    constexpr std::size_t MaxListed = 200;
    std::vector<OptimiseDialog::Record> records;
    QSet<double> seen;
    bool listedAll = m_table.complete(); // records not read yet are not listed either
    for (int i = 0; i < m_table.count(); ++i) {
        if (records.size() == MaxListed) {
            listedAll = false;
            break;
        }
        const RecordFields f = readRecordFields(TableRecord(m_table, i));
        if (!f.idNumber || seen.contains(*f.idNumber))
            continue;
        seen.insert(*f.idNumber);
        OptimiseDialog::Record r{*f.idNumber, f.id, f.title, std::nullopt, std::nullopt};
        if (f.responses)
            r.model = optimise::fittedModel(*f.responses);
        if (m_state.RealUnits) {
            const auto stored = m_state.Definitions.constFind(r.id);
            if (stored != m_state.Definitions.cend())
                r.factors = *stored;
        }
        records.push_back(r);
    }
    const Result<StoredGoals> stored = m_table.goals();
    if (!stored)
        m_dialogs->warn(QStringLiteral("多响应优化"),
                        QStringLiteral("无法读取上次的优化目标：%1")
                            .arg(shell::describeFailure(stored.failure())),
                        shell::failureDetails(stored.failure()));
    m_optimise =
        new OptimiseDialog(std::move(records), stored ? *stored : StoredGoals(), listedAll, this);
    m_optimise->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_optimise, &OptimiseDialog::overlayRequested, this, &Form1::showGoalMap);
    connect(m_optimise, &QDialog::finished, this, [this] {
        keepGoals();
        m_optimise = nullptr;
    });
    if (const QScreen *where = screen())
        m_optimise->move(
            besideWindow(frameGeometry(), m_optimise->size(), where->availableGeometry()));
    m_optimise->show();
}

void Form1::showGoalMap()
{
    if (!m_optimise)
        return;
    m_goalMap = m_optimise->goalMap();
    m_layers.clear(); // the goal map replaces what was shown
    m_layersLost = false;
    drawGoalMap(*m_goalMap, surface());
    Picture1->update();
    keepGoals();
}

void Form1::keepGoals()
{
    if (!m_optimise)
        return;
    const StoredGoals goals = m_optimise->goals();
    const Result<StoredGoals> before = m_table.goals();
    if (goals.empty() || (before && *before == goals))
        return; // nothing new to keep: the file is not touched
    if (const Result<void> saved = m_table.saveGoals(goals); !saved)
        m_dialogs->warn(QStringLiteral("多响应优化"),
                        QStringLiteral("无法把优化目标保存到“%1”：%2")
                            .arg(QDir::toNativeSeparators(m_table.path()),
                                 shell::describeFailure(saved.failure())),
                        shell::failureDetails(saved.failure()));
}
