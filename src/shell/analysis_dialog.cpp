#include "shell/analysis_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using analysis::ModelAnalysis;
using analysis::VarianceRow;

QString shown(std::optional<double> v)
{
    return v ? QString::number(*v, 'g', 6) : QStringLiteral("—");
}

// Columns in a fixed-width font, where a Chinese character takes two places.
QString padded(const QString &text, int width, bool left)
{
    int used = 0;
    for (const QChar c : text)
        used += c.unicode() >= 0x1100 ? 2 : 1;
    // A number as wide as its column still stands apart from the one before it.
    const QString fill(std::max(left ? 0 : 1, width - used), QLatin1Char(' '));
    return left ? text + fill : fill + text;
}

QString row(const QStringList &cells, const QList<int> &widths)
{
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i)
        line += padded(cells[i], widths[i], i == 0);
    while (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    return line + QLatin1Char('\n');
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

QString analysisText(const ModelAnalysis &a)
{
    static const QList<int> cw{8, 13, 13, 11, 12};
    QString text = QStringLiteral("回归系数\n");
    text += row({QStringLiteral("项"), QStringLiteral("估计值"), QStringLiteral("标准误"),
                 QStringLiteral("t 值"), QStringLiteral("p 值")},
                cw);
    for (const analysis::Coefficient &c : a.coefficients)
        text += row(
            {QString::fromLatin1(c.term), shown(c.estimate), shown(c.se), shown(c.t), shown(c.p)},
            cw);
    static const QList<int> vw{8, 5, 13, 13, 11, 12};
    const auto variance = [&](const QString &name, const VarianceRow &r, bool ms, bool f) {
        return row({name, QString::number(r.df), shown(r.ss), ms ? shown(r.ms) : QString(),
                    f ? shown(r.f) : QString(), f ? shown(r.p) : QString()},
                   vw);
    };
    text += QStringLiteral("\n方差分析\n");
    text += row({QStringLiteral("来源"), QStringLiteral("自由度"), QStringLiteral("平方和"),
                 QStringLiteral("均方"), QStringLiteral("F 值"), QStringLiteral("p 值")},
                vw);
    text += variance(QStringLiteral("回归"), a.model, true, true);
    text += variance(QStringLiteral("剩余"), a.residual, true, false);
    text += variance(QStringLiteral("  失拟"), a.lackOfFit, true, true);
    text += variance(QStringLiteral("  纯误差"), a.pureError, true, false);
    text += variance(QStringLiteral("总计"), a.total, false, false);
    text +=
        QStringLiteral("\nR² = %1，校正 R² = %2，预测 R² = %3，PRESS = %4\n")
            .arg(shown(a.rSquared), shown(a.adjRSquared), shown(a.predRSquared), shown(a.press));
    text += QStringLiteral("\n驻点与典型分析\n特征值 %1、%2：%3\n")
                .arg(shown(a.eigenvalues[0]), shown(a.eigenvalues[1]),
                     a.nature ? natureText(*a.nature) : QStringLiteral("曲面没有弯曲，无驻点"));
    if (a.stationary)
        text += QStringLiteral("驻点 X1 = %1，X2 = %2，预测 Y = %3（%4作图范围内）\n")
                    .arg(shown(a.stationary->x1), shown(a.stationary->x2), shown(a.stationary->y),
                         a.stationaryInside ? QStringLiteral("在") : QStringLiteral("不在"));
    text += QStringLiteral("\n作图范围 |X1|、|X2| ≤ 1.414 内的最优点\n");
    if (!a.maximum.x1)
        text += QStringLiteral("曲面水平：处处为 %1\n").arg(shown(a.maximum.y));
    else
        text += QStringLiteral("最大值 %1：X1 = %2，X2 = %3\n最小值 %4：X1 = %5，X2 = %6\n")
                    .arg(shown(a.maximum.y), shown(a.maximum.x1), shown(a.maximum.x2),
                         shown(a.minimum.y), shown(a.minimum.x1), shown(a.minimum.x2));
    return text;
}

AnalysisDialog::AnalysisDialog(QWidget *parent)
    : QDialog(parent)
    , m_text(new QPlainTextEdit(this))
{
    setWindowTitle(QStringLiteral("模型分析"));
    setModal(false);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
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

void AnalysisDialog::showRecord(const QString &recordId,
                                const std::optional<analysis::Responses> &responses)
{
    const QString heading = QStringLiteral("记录 ID %1\n\n")
                                .arg(recordId.isEmpty() ? QStringLiteral("（空）") : recordId);
    m_text->setPlainText(responses
                             ? heading + analysisText(analysis::analyse(*responses))
                             : heading + QStringLiteral("这条记录的 11 个响应值不全，无法分析。"));
}

QString AnalysisDialog::text() const
{
    return m_text->toPlainText();
}
