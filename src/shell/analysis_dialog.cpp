#include "shell/analysis_dialog.h"

#include "core/text_columns.h"
#include "stats/real_units.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>
#include <variant>

namespace {

using analysis::ModelAnalysis;
using analysis::VarianceRow;

QString shown(std::optional<double> v)
{
    return v ? QString::number(*v, 'g', 6) : QStringLiteral("—");
}

QString sourceName(analysis::Source source)
{
    switch (source) {
    case analysis::Source::Model:
        return QStringLiteral("回归");
    case analysis::Source::Residual:
        return QStringLiteral("剩余");
    case analysis::Source::LackOfFit:
        return QStringLiteral("失拟");
    case analysis::Source::PureError:
        return QStringLiteral("纯误差");
    case analysis::Source::Total:
        return QStringLiteral("总计");
    }
    return {};
}

QString natureText(analysis::Nature nature)
{
    switch (nature) {
    case analysis::Nature::Maximum:
        return QStringLiteral("极大值");
    case analysis::Nature::Minimum:
        return QStringLiteral("极小值");
    case analysis::Nature::Saddle:
        return QStringLiteral("鞍点");
    case analysis::Nature::Ridge:
        return QStringLiteral("脊（一个特征值近于零）");
    }
    return {};
}

} // namespace

namespace {

// A table of the analysis: its column widths in fixed-width places (for the text) and rows of
// cells, the first one the heading.
struct Table
{
    QList<int> widths;
    QList<QStringList> rows;
};
using Block = std::variant<QString, Table>;

// The analysis as lines and tables, for the text that is copied and the page that is shown.
// The same answers in the record's real units.
QList<Block> realUnitBlocks(const ModelAnalysis &a, const Factors &f)
{
    QList<Block> blocks{QString(), QStringLiteral("实际单位")};
    for (const auto &[axis, x] :
         {std::pair{QStringLiteral("X1"), &f.x1}, {QStringLiteral("X2"), &f.x2}})
        blocks << QStringLiteral("%1 = %2：编码 -1 为 %3，+1 为 %4")
                      .arg(axis, x->title(), shown(x->low), shown(x->high));
    blocks << analysis::realEquation(analysis::realCoefficients(a, f), f);
    const auto at = [&](const analysis::Point &p) {
        const analysis::RealPoint r = analysis::realPoint(p, f);
        return QStringLiteral("%1 = %2，%3 = %4")
            .arg(f.x1.name, shown(r.x1), f.x2.name, shown(r.x2));
    };
    if (a.stationary)
        blocks << QStringLiteral("驻点：%1").arg(at(*a.stationary));
    if (a.maximum.x1)
        blocks << QStringLiteral("最大值 %1：%2").arg(shown(a.maximum.y), at(a.maximum))
               << QStringLiteral("最小值 %1：%2").arg(shown(a.minimum.y), at(a.minimum));
    return blocks;
}

QList<Block> analysisBlocks(const ModelAnalysis &a, const Factors *units)
{
    QList<Block> blocks;
    Table coefficients{{8, 13, 13, 11, 12},
                       {{QStringLiteral("项"), QStringLiteral("估计值"), QStringLiteral("标准误"),
                         QStringLiteral("t 值"), QStringLiteral("p 值")}}};
    for (const analysis::Coefficient &c : a.coefficients)
        coefficients.rows << QStringList{QString::fromLatin1(c.term), shown(c.estimate),
                                         shown(c.se), shown(c.t), shown(c.p)};
    blocks << QStringLiteral("回归系数（双精度精确最小二乘；主窗口方程框是本设计的闭式单精度拟合，"
                             "末位可能不同）")
           << coefficients;
    // The sources are padded with ideographic spaces to four characters: they line up in any
    // font, where a Chinese character is seldom exactly two Latin ones wide.
    const QChar wide(0x3000);
    Table variance{
        {8, 5, 13, 13, 11, 12},
        {{QStringLiteral("来源") + wide + wide, QStringLiteral("自由度"), QStringLiteral("平方和"),
          QStringLiteral("均方"), QStringLiteral("F 值"), QStringLiteral("p 值")}}};
    for (const analysis::VarianceLine &line : analysis::varianceLines(a)) {
        const VarianceRow &r = *line.row;
        QString name = (line.part ? QString(wide) : QString()) + sourceName(line.source);
        while (name.size() < 4)
            name += wide;
        variance.rows << QStringList{name,
                                     QString::number(r.df),
                                     shown(r.ss),
                                     line.meanSquare ? shown(r.ms) : QString(),
                                     line.test ? shown(r.f) : QString(),
                                     line.test ? shown(r.p) : QString()};
    }
    blocks << QString() << QStringLiteral("方差分析") << variance << QString()
           << QStringLiteral("R² = %1，校正 R² = %2，预测 R² = %3，PRESS = %4")
                  .arg(shown(a.rSquared), shown(a.adjRSquared), shown(a.predRSquared),
                       shown(a.press))
           << QString() << QStringLiteral("驻点与典型分析")
           << QStringLiteral("特征值 %1、%2：%3")
                  .arg(shown(a.eigenvalues[0]), shown(a.eigenvalues[1]),
                       a.nature ? natureText(*a.nature) : QStringLiteral("曲面没有弯曲，无驻点"));
    if (a.stationary)
        blocks << QStringLiteral("驻点 X1 = %1，X2 = %2，预测 Y = %3（%4作图范围内）")
                      .arg(shown(a.stationary->x1), shown(a.stationary->x2), shown(a.stationary->y),
                           a.stationaryInside ? QStringLiteral("在") : QStringLiteral("不在"));
    blocks << QString() << QStringLiteral("作图范围 |X1|、|X2| ≤ 1.414 内的最优点");
    if (!a.maximum.x1 && a.maximum.y) // level: one value everywhere, no place of its own
        blocks << QStringLiteral("曲面水平：处处为 %1").arg(shown(a.maximum.y));
    else
        blocks << QStringLiteral("最大值 %1：X1 = %2，X2 = %3")
                      .arg(shown(a.maximum.y), shown(a.maximum.x1), shown(a.maximum.x2))
               << QStringLiteral("最小值 %1：X1 = %2，X2 = %3")
                      .arg(shown(a.minimum.y), shown(a.minimum.x1), shown(a.minimum.x2));
    if (units)
        blocks << realUnitBlocks(a, *units);
    return blocks;
}

QString htmlOf(const QList<Block> &blocks)
{
    QString html;
    for (const Block &block : blocks) {
        if (const auto *line = std::get_if<QString>(&block)) {
            html += line->isEmpty() ? QStringLiteral("<br>")
                                    : QStringLiteral("<div>%1</div>").arg(line->toHtmlEscaped());
            continue;
        }
        const Table &table = std::get<Table>(block);
        html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\">");
        for (qsizetype r = 0; r < table.rows.size(); ++r) {
            html += QStringLiteral("<tr>");
            for (qsizetype c = 0; c < table.rows[r].size(); ++c)
                html +=
                    QStringLiteral(
                        "<td align=\"%1\" style=\"padding-right: 12px; white-space: pre\">%2</td>")
                        .arg(c == 0 ? QStringLiteral("left") : QStringLiteral("right"),
                             table.rows[r][c].toHtmlEscaped());
            html += QStringLiteral("</tr>");
        }
        html += QStringLiteral("</table>");
    }
    return html;
}

} // namespace

QPoint besideWindow(const QRect &window, const QSize &dialog, const QRect &screen)
{
    const int top = std::clamp(window.top(), screen.top(),
                               std::max(screen.top(), screen.bottom() + 1 - dialog.height()));
    if (window.right() + 1 + dialog.width() <= screen.right() + 1)
        return {window.right() + 1, top};
    if (window.left() - dialog.width() >= screen.left())
        return {window.left() - dialog.width(), top};
    // No room on either side: over the window's right edge, inside the screen.
    return {std::max(screen.left(), screen.right() + 1 - dialog.width()), top};
}

QString analysisText(const ModelAnalysis &a, const Factors *units)
{
    QString text;
    for (const Block &block : analysisBlocks(a, units)) {
        if (const auto *line = std::get_if<QString>(&block)) {
            text += *line + QLatin1Char('\n');
            continue;
        }
        const Table &table = std::get<Table>(block);
        for (const QStringList &cells : table.rows)
            text += textRow(cells, table.widths);
    }
    return text;
}

AnalysisDialog::AnalysisDialog(QWidget *parent)
    : QDialog(parent)
    , m_text(new QTextBrowser(this))
{
    setWindowTitle(QStringLiteral("模型分析"));
    setModal(false);
    m_text->setLineWrapMode(QTextEdit::NoWrap);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(10);
    m_text->setFont(font);
    auto *copy = new QPushButton(QStringLiteral("复制"), this);
    auto *close = new QPushButton(QStringLiteral("关闭"), this);
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(text()); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copy);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addLayout(buttons);
    resize(620, 560);
}

void AnalysisDialog::showRecord(const QString &recordId, const analysis::ModelAnalysis *analysis,
                                const Factors *units)
{
    const QString heading = QStringLiteral("记录 ID %1\n\n")
                                .arg(recordId.isEmpty() ? QStringLiteral("（空）") : recordId);
    if (!analysis) {
        m_plain = heading + QStringLiteral("这条记录的 11 个响应值不全，无法分析。");
        m_text->setPlainText(m_plain);
        return;
    }
    const analysis::ModelAnalysis &a = *analysis;
    m_plain = heading + analysisText(a, units);
    m_text->setHtml(QStringLiteral("<div>%1</div><br>").arg(heading.trimmed().toHtmlEscaped()) +
                    htmlOf(analysisBlocks(a, units)));
}

QString AnalysisDialog::text() const
{
    return m_plain;
}
