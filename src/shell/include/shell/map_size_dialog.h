#pragma once

// The size of an exported map: its width on paper and its resolution, with the size a journal
// asks for most often one click away.

#include "pipeline/map_export.h"

#include <QDialog>

class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QDialogButtonBox;

class MapSizeDialog : public QDialog
{
public:
    // `bitmap`: the file is PNG or BMP, whose pixels the size gives.
    MapSizeDialog(const MapSize &start, bool bitmap, QWidget *parent = nullptr);
    // What the fields say; the start itself while they are as it set them.
    MapSize chosen() const;

    QDoubleSpinBox *width;
    QSpinBox *dpi;
    QLabel *sizeText; // the pixels (or the side on paper) the fields give
    QPushButton *journal;
    QDialogButtonBox *buttons;

private:
    void showResult();
    MapSize m_start;
    double m_startWidth;
    bool m_bitmap;
};

// The size a journal's single column takes, at the resolution printers ask of line art.
inline constexpr double JournalWidthMm = 85;
inline constexpr int JournalDpi = 600;
