#include "shell/run_sheet_dialog.h"

#include "pipeline/safe_file.h"
#include "shell/dialogs.h"
#include "shell/failure_text.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTextDocument>
#include <QVBoxLayout>

RunSheetDialog::RunSheetDialog(const QString &recordId, const Factors &factors, Dialogs &dialogs,
                               const QString &folder, QWidget *parent)
    : QDialog(parent)
    , m_recordId(recordId)
    , m_factors(factors)
    , m_dialogs(dialogs)
    , m_folder(folder)
{
    setWindowTitle(QStringLiteral("试验方案 — 记录 ID %1").arg(recordId));
    randomise = new QCheckBox(QStringLiteral("随机顺序，种子"));
    seed = new QSpinBox;
    seed->setRange(0, 2'000'000'000);
    seed->setValue(int(QRandomGenerator::global()->bounded(2'000'000'001u)));
    seed->setEnabled(false);
    text = new QPlainTextEdit;
    text->setReadOnly(true);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setMinimumWidth(620);
    copyButton = new QPushButton(QStringLiteral("复制"));
    csvButton = new QPushButton(QStringLiteral("另存为 CSV…"));
    pdfButton = new QPushButton(QStringLiteral("存为 PDF…"));
    printButton = new QPushButton(QStringLiteral("打印…"));
    auto *close = new QPushButton(QStringLiteral("关闭"));
    auto *options = new QHBoxLayout;
    options->addWidget(randomise);
    options->addWidget(seed);
    options->addStretch();
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {copyButton, csvButton, pdfButton, printButton})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(options);
    layout->addWidget(text);
    layout->addLayout(buttons);
    connect(randomise, &QCheckBox::toggled, this, [this](bool on) {
        seed->setEnabled(on);
        refresh();
    });
    connect(seed, &QSpinBox::valueChanged, this, &RunSheetDialog::refresh);
    connect(copyButton, &QPushButton::clicked, this, &RunSheetDialog::copy);
    connect(csvButton, &QPushButton::clicked, this, &RunSheetDialog::saveCsv);
    connect(pdfButton, &QPushButton::clicked, this, &RunSheetDialog::savePdf);
    connect(printButton, &QPushButton::clicked, this, &RunSheetDialog::print);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    refresh();
}

RunSheet RunSheetDialog::sheet() const
{
    return runSheet(m_factors, randomise->isChecked()
                                   ? std::optional<unsigned>(unsigned(seed->value()))
                                   : std::nullopt);
}

void RunSheetDialog::refresh()
{
    text->setPlainText(runSheetText(m_factors, sheet()));
}

void RunSheetDialog::copy()
{
    QApplication::clipboard()->setText(text->toPlainText());
}

void RunSheetDialog::saveAs(const QString &title, const QString &suffix, const QString &filter,
                            const QByteArray &bytes)
{
    const QString suggested =
        QDir(m_folder).filePath(QStringLiteral("试验方案%1.%2").arg(m_recordId, suffix));
    const QString path = m_dialogs.askSaveFile(title, suggested, filter);
    if (path.isEmpty())
        return;
    if (const Result<void> saved = saveFileSafely(bytes, path, Durability::Synced); !saved)
        m_dialogs.warn(
            title,
            QStringLiteral("无法保存“%1”：%2")
                .arg(QDir::toNativeSeparators(path), shell::describeFailure(saved.failure())),
            shell::failureDetails(saved.failure()));
}

void RunSheetDialog::saveCsv()
{
    saveAs(QStringLiteral("另存为 CSV"), QStringLiteral("csv"), QStringLiteral("CSV 文件 (*.csv)"),
           runSheetCsv(m_factors, sheet()).toUtf8());
}

QString RunSheetDialog::html() const
{
    QString heading = QStringLiteral("试验方案（记录 ID %1）").arg(m_recordId);
    if (randomise->isChecked())
        heading += QStringLiteral("，随机顺序，种子 %1").arg(seed->value());
    return QStringLiteral("<h3>%1</h3><pre>%2</pre>")
        .arg(heading.toHtmlEscaped(), text->toPlainText().toHtmlEscaped());
}

void RunSheetDialog::savePdf()
{
    // Made in memory first: the file is written whole through the safe writer or not at all.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setTitle(windowTitle());
        QTextDocument document;
        document.setHtml(html());
        document.print(&pdf);
    }
    saveAs(QStringLiteral("存为 PDF"), QStringLiteral("pdf"), QStringLiteral("PDF 文件 (*.pdf)"),
           buffer.data());
}

void RunSheetDialog::print()
{
    QPrinter printer;
    QPrintDialog ask(&printer, this);
    if (ask.exec() != QDialog::Accepted)
        return;
    QTextDocument document;
    document.setHtml(html());
    document.print(&printer);
}
