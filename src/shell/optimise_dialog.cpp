#include "shell/optimise_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QStringList KindWords{QStringLiteral("最大"), QStringLiteral("最小"),
                            QStringLiteral("目标值"), QStringLiteral("范围")};

QString shown(double v)
{
    return QString::number(v, 'g', 6);
}

QString faultWords(optimise::GoalFault fault)
{
    switch (fault) {
    case optimise::GoalFault::NotFinite:
        return QStringLiteral("下限、目标值和上限须是数");
    case optimise::GoalFault::LowNotBelowHigh:
        return QStringLiteral("下限须小于上限");
    case optimise::GoalFault::TargetOutside:
        return QStringLiteral("目标值须在下限与上限之间");
    case optimise::GoalFault::ShapeNotPositive:
        return QStringLiteral("形状指数须大于 0");
    case optimise::GoalFault::ImportanceOutside:
        return QStringLiteral("重要性须为 1 至 5");
    }
    return {};
}

} // namespace

OptimiseDialog::OptimiseDialog(std::vector<Record> records, const StoredGoals &start,
                               bool listedAll, QWidget *parent)
    : QDialog(parent)
    , m_records(std::move(records))
{
    setWindowTitle(QStringLiteral("多响应优化"));
    setModal(false);
    table = new QTableWidget(int(m_records.size()), Columns);
    table->setHorizontalHeaderLabels({QStringLiteral("使用"), QStringLiteral("ID"),
                                      QStringLiteral("名称"), QStringLiteral("目标"),
                                      QStringLiteral("下限"), QStringLiteral("目标值"),
                                      QStringLiteral("上限"), QStringLiteral("重要性")});
    table->verticalHeader()->hide();
    m_pending = new QTimer(this);
    m_pending->setSingleShot(true);
    m_pending->setInterval(150);
    connect(m_pending, &QTimer::timeout, this, &OptimiseDialog::recompute);
    for (int row = 0; row < int(m_records.size()); ++row) {
        const Record &r = m_records[std::size_t(row)];
        const auto saved = std::find_if(start.begin(), start.end(),
                                        [&](const auto &g) { return g.first == r.id; });
        fillRow(row, saved != start.end() ? &saved->second : nullptr);
    }
    table->resizeColumnsToContents();
    connect(table, &QTableWidget::itemChanged, m_pending, qOverload<>(&QTimer::start));
    m_result = new QLabel;
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_result->setMinimumHeight(120);
    m_result->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    overlayButton = new QPushButton(QStringLiteral("显示叠加图"));
    auto *close = new QPushButton(QStringLiteral("关闭"));
    connect(overlayButton, &QPushButton::clicked, this, [this] {
        recompute();
        emit overlayRequested();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(overlayButton);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("勾选记录并为每个响应设定目标；同一组 11 次试验的响应共用一个作图范围。") +
        (listedAll ? QString()
                   : QStringLiteral("（只列出前 %1 条记录。）").arg(m_records.size()))));
    layout->addWidget(table);
    layout->addWidget(m_result);
    layout->addLayout(buttons);
    resize(720, 520);
    recompute();
}

void OptimiseDialog::fillRow(int row, const optimise::Goal *saved)
{
    const Record &r = m_records[std::size_t(row)];
    const optimise::Goal g = saved ? *saved : optimise::Goal{};
    const auto later = [this] {
        m_pending->start();
    };
    auto *use = new QTableWidgetItem;
    use->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    use->setCheckState(saved ? Qt::Checked : Qt::Unchecked);
    table->setItem(row, Use, use);
    for (const auto &[column, text] : {std::pair{Id, r.idText}, {Name, r.name}}) {
        auto *item = new QTableWidgetItem(text);
        item->setFlags(Qt::ItemIsEnabled);
        table->setItem(row, column, item);
    }
    auto *kind = new QComboBox;
    kind->addItems(KindWords);
    kind->setCurrentIndex(int(g.kind));
    connect(kind, &QComboBox::currentIndexChanged, this, later);
    table->setCellWidget(row, Kind, kind);
    table->setItem(row, Low, new QTableWidgetItem(saved ? shown(g.low) : QString()));
    table->setItem(row, Target,
                   new QTableWidgetItem(saved && g.kind == optimise::GoalKind::Target
                                            ? shown(g.target)
                                            : QString()));
    table->setItem(row, High, new QTableWidgetItem(saved ? shown(g.high) : QString()));
    auto *importance = new QSpinBox;
    importance->setRange(1, 5);
    importance->setValue(g.importance);
    connect(importance, &QSpinBox::valueChanged, this, later);
    table->setCellWidget(row, Importance, importance);
}

Checked<optimise::Goal> OptimiseDialog::rowGoal(int row) const
{
    const auto number = [&](int column) {
        bool ok = false;
        const double v = QLocale::c().toDouble(table->item(row, column)->text().trimmed(), &ok);
        return ok ? v : NAN;
    };
    optimise::Goal g;
    g.kind =
        optimise::GoalKind(qobject_cast<QComboBox *>(table->cellWidget(row, Kind))->currentIndex());
    g.low = number(Low);
    g.high = number(High);
    g.target = g.kind == optimise::GoalKind::Target ? number(Target) : 0;
    g.importance = qobject_cast<QSpinBox *>(table->cellWidget(row, Importance))->value();
    if (const auto fault = optimise::goalFault(g))
        return Checked<optimise::Goal>::refused(faultWords(*fault));
    return g;
}

StoredGoals OptimiseDialog::goals() const
{
    StoredGoals goals;
    for (int row : m_used)
        goals.push_back({m_records[std::size_t(row)].id, *rowGoal(row)});
    return goals;
}

void OptimiseDialog::recompute()
{
    m_pending->stop();
    m_used.clear();
    QStringList problems;
    std::vector<optimise::Response> responses;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, Use)->checkState() != Qt::Checked)
            continue;
        const Record &r = m_records[std::size_t(row)];
        const auto goal = rowGoal(row);
        if (!r.model)
            problems
                << QStringLiteral("ID %1：这条记录的 11 个响应值不全，没有拟合。").arg(r.idText);
        else if (!goal)
            problems << QStringLiteral("ID %1：%2。").arg(r.idText, goal.error());
        else {
            responses.push_back({*goal, *r.model});
            m_used.push_back(row);
        }
    }
    // Real units when every record of the goals has the same factors; said when they differ.
    m_units.reset();
    bool differ = false;
    if (!m_used.empty()) {
        m_units = m_records[std::size_t(m_used.front())].factors;
        for (int row : m_used)
            differ = differ || m_records[std::size_t(row)].factors != m_units;
        if (differ)
            m_units.reset();
    }
    if (differ)
        problems << QStringLiteral("所选记录的因素定义不同，结果按编码单位给出。");
    m_answer = responses.empty() ? optimise::Answer() : optimise::optimiseGoals(responses);
    overlayButton->setEnabled(!responses.empty());
    QString text = problems.join(QLatin1Char('\n'));
    if (responses.empty()) {
        m_result->setText(text.isEmpty() ? QStringLiteral("请勾选记录并设定目标。") : text);
        return;
    }
    if (!text.isEmpty())
        text += QStringLiteral("\n\n");
    m_result->setText(text + resultText());
}

QString OptimiseDialog::resultText() const
{
    const auto place = [&](double x1, double x2) {
        QString t = QStringLiteral("X1 = %1，X2 = %2").arg(shown(x1), shown(x2));
        if (m_units)
            t += QStringLiteral("（%1 = %2，%3 = %4）")
                     .arg(m_units->x1.name, shown(m_units->x1.real(x1)), m_units->x2.name,
                          shown(m_units->x2.real(x2)));
        return t;
    };
    QString text;
    const optimise::Answer &a = m_answer;
    if (a.optimum)
        text += QStringLiteral("最优点：%1，D = %2\n")
                    .arg(place(a.optimum->x1, a.optimum->x2), shown(a.D));
    else
        text += QStringLiteral("作图范围内没有同时满足全部目标的配方。\n");
    for (std::size_t i = 0; i < m_used.size(); ++i) {
        const Record &r = m_records[std::size_t(m_used[i])];
        const optimise::Goal g = *rowGoal(m_used[i]);
        const double y =
            a.optimum ? optimise::predict(*r.model, a.optimum->x1, a.optimum->x2) : a.alone[i].y;
        text += QStringLiteral("ID %1 %2：%3 y = %4，d = %5\n")
                    .arg(r.idText, r.name, a.optimum ? QString() : QStringLiteral("单独最好"),
                         shown(y), shown(optimise::desirability(g, y)));
    }
    for (const auto &[i, j] : a.conflicts)
        text += i == j ? QStringLiteral("ID %1 的目标在作图范围内无法达到。\n")
                             .arg(m_records[std::size_t(m_used[std::size_t(i)])].idText)
                       : QStringLiteral("ID %1 与 ID %2 的目标不能同时达到。\n")
                             .arg(m_records[std::size_t(m_used[std::size_t(i)])].idText,
                                  m_records[std::size_t(m_used[std::size_t(j)])].idText);
    if (const auto &p = a.plateau)
        text +=
            QStringLiteral("达到最优 D 的区域占作图范围的 %1 %；最稳健的点 %2（距区域边缘 %3）\n")
                .arg(shown(100 * p->share), place(p->robust.x1, p->robust.x2), shown(p->depth));
    return text.trimmed();
}

GoalMap OptimiseDialog::goalMap() const
{
    GoalMap map;
    map.optimum = m_answer.optimum;
    map.D = m_answer.D;
    map.units = m_units;
    for (std::size_t i = 0; i < m_used.size(); ++i) {
        const Record &r = m_records[std::size_t(m_used[i])];
        const optimise::Goal g = *rowGoal(m_used[i]);
        map.layers.push_back({{g, *r.model}, goalLegend(r.idText, r.name, g), goalColour(r.id, i)});
    }
    return map;
}
