#include "shell/map_size_dialog.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

MapSizeDialog::MapSizeDialog(const MapSize &start, bool bitmap, QWidget *parent)
    : QDialog(parent)
    , width(new QDoubleSpinBox(this))
    , dpi(new QSpinBox(this))
    , sizeText(new QLabel(this))
    , journal(new QPushButton(QStringLiteral("%1 毫米，%2 dpi").arg(JournalWidthMm).arg(JournalDpi),
                              this))
    , buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
    , m_start(start)
    , m_startWidth(std::round(start.millimetres() * 100) / 100)
    , m_bitmap(bitmap)
{
    setWindowTitle(QStringLiteral("图像尺寸"));
    width->setRange(5, 2000);
    width->setDecimals(2);
    width->setSuffix(QStringLiteral(" 毫米"));
    width->setValue(m_startWidth);
    dpi->setRange(MapDpiMin, MapDpiMax);
    dpi->setValue(start.dpi);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("宽度："), width);
    form->addRow(QStringLiteral("分辨率（dpi）："), dpi);
    form->addRow(QString(), sizeText);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(journal);
    layout->addWidget(buttons);
    connect(width, &QDoubleSpinBox::valueChanged, this, &MapSizeDialog::showResult);
    connect(dpi, &QSpinBox::valueChanged, this, &MapSizeDialog::showResult);
    connect(journal, &QPushButton::clicked, this, [this] {
        width->setValue(JournalWidthMm);
        dpi->setValue(JournalDpi);
        accept();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    showResult();
}

MapSize MapSizeDialog::chosen() const
{
    if (width->value() == m_startWidth && dpi->value() == m_start.dpi)
        return m_start;
    return MapSize::ofWidth(width->value(), dpi->value());
}

void MapSizeDialog::showResult()
{
    const MapSize size = chosen();
    const bool fits = size.pixels >= MapPixelsMin && size.pixels <= MapPixelsMax;
    buttons->button(QDialogButtonBox::Ok)->setEnabled(fits);
    if (!fits)
        sizeText->setText(QStringLiteral("%1 × %1 像素，超出 %2–%3 像素的范围。")
                              .arg(size.pixels)
                              .arg(MapPixelsMin)
                              .arg(MapPixelsMax));
    else if (m_bitmap)
        sizeText->setText(QStringLiteral("位图 %1 × %1 像素").arg(size.pixels));
    else
        sizeText->setText(
            QStringLiteral("矢量图，边长 %1 毫米").arg(size.pagePoints() * 25.4 / 72, 0, 'f', 1));
}
