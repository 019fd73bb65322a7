#include "shell/form1.h"

#include "pipeline/bitmap.h"
#include "pipeline/goal_map.h"
#include "pipeline/map_export.h"
#include "pipeline/record_change.h"
#include "shell/failure_text.h"
#include "shell/record_state.h"
#include "store/stream_reader.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QScreen>
#include <QTimer>

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// Records

void Form1::Data1_Reposition()
{
    if (m_current < 0 || m_current >= m_table.count())
        return;
    m_loading = true;
    retryPendingWrites();
    m_loading = false;
    Data1->setPosition(m_current, m_table.count(), !m_table.complete());
    loadCurrent(*m_picker);
}

void Form1::redrawCurrent()
{
    // The same record: its colour stays, and the picker is not asked again.
    FixedColorPicker same(m_state.CurveColor);
    loadCurrent(same);
}

void Form1::loadCurrent(ColorPicker &picker)
{
    m_goalMap.reset(); // a record change ends the goal map, as it ends an overlay
    // A record that cannot be read is said so, and nothing of another record is shown for it.
    if (const auto read = m_table.readRecord(m_current); !read) {
        surface().Clear();
        m_layers.clear();
        m_layersLost = false;
        clearFit(m_state);
        m_record = {};
        showResults();
        m_dialogs->warn(QStringLiteral("无法读取记录"),
                        QStringLiteral("无法读取“%1”的第 %2 条记录：%3")
                            .arg(QDir::toNativeSeparators(m_table.path()))
                            .arg(m_current + 1)
                            .arg(shell::describeFailure(read.failure())),
                        shell::failureDetails(read.failure()));
        return;
    }
    try {
        LoadCurrentRecord(m_state, m_record, TableRecord(m_table, m_current), surface(), picker);
        keepLayer();
    } catch (const std::bad_alloc &) {
        surface().Clear();
        m_layers.clear();
        m_layersLost = false;
        clearFit(m_state);
        m_record = {};
        m_dialogs->warn(QStringLiteral("内存不足"),
                        QStringLiteral("内存不足，无法画出这条记录的图。"));
    }
    // Real units asked for, and this record has no factors: its map stays coded, and says so.
    Picture1->setToolTip(m_state.RealUnits && !m_record.factors
                             ? QStringLiteral("这条记录没有定义因素，图按编码单位标注。")
                             : QString());
    showResults();
    updateAnalysis();
}

void Form1::keepLayer()
{
    if (!m_state.Overlay) {
        m_layers.clear();
        m_layersLost = false;
    }
    if (m_layersLost || m_layers.size() == MaxLayers) {
        m_layers.clear();
        m_layersLost = true;
        return;
    }
    const TableRecord shown(m_table, m_current);
    MapLayer layer{
        {}, mapOptions(m_state), {m_state.ColorIndex, m_state.CurveColor}, m_record.factors};
    for (const QString &name : recordFieldNames())
        if (const FieldValue v = shown.field(name); v.kind != FieldValue::Kind::Error)
            layer.record.set(name, v.raw());
    // The axes as they were drawn, whatever becomes of the stored definitions.
    layer.options.units = {};
    m_layers.push_back(std::move(layer));
}

void Form1::drawShown(Surface &target) const
{
    if (m_goalMap) {
        drawGoalMap(*m_goalMap, target);
        return;
    }
    for (const MapLayer &layer : m_layers) {
        MapOptions options = layer.options;
        if (layer.factors)
            options.units = {layer.factors->x1, layer.factors->x2, nullptr};
        RecordMap copy;
        copy.colour = layer.colour;
        FixedColorPicker picker(layer.colour.colour);
        drawRecord(options, layer.record, target, picker, copy);
    }
}

void Form1::showAnalysisMenu(QWidget *widget, const QPoint &at)
{
    QMenu menu(this);
    if (widget == Picture1) {
        menu.addAction(QStringLiteral("复制图像"), this, &Form1::copyMap);
        menu.addAction(QStringLiteral("导出图像…"), this, &Form1::exportMap);
        menu.addSeparator();
    }
    menu.addAction(QStringLiteral("模型分析…"), this, &Form1::showAnalysis);
    menu.addSeparator();
    const auto toggle = [&](const QString &text, bool MapMarks::*mark) {
        QAction *action = menu.addAction(text);
        action->setCheckable(true);
        action->setChecked(m_state.Marks.*mark);
        // Like the other options: it takes effect at the next record change.
        connect(action, &QAction::toggled, this,
                [this, mark](bool on) { m_state.Marks.*mark = on; });
    };
    toggle(QStringLiteral("标出驻点"), &MapMarks::stationary);
    toggle(QStringLiteral("标出最优点"), &MapMarks::optimum);
    toggle(QStringLiteral("标出试验点"), &MapMarks::runs);
    menu.addSeparator();
    menu.addAction(QStringLiteral("多响应优化…"), this, &Form1::showOptimise);
    menu.addSeparator();
    menu.addAction(QStringLiteral("因素与单位…"), this, &Form1::editFactors);
    QAction *real = menu.addAction(QStringLiteral("以实际单位显示"));
    real->setCheckable(true);
    real->setChecked(m_state.RealUnits);
    connect(real, &QAction::toggled, this, &Form1::setRealUnits);
    menu.addAction(QStringLiteral("试验方案…"), this, &Form1::showRunSheet);
    menu.exec(widget->mapToGlobal(at));
}

void Form1::copyMap()
{
    QApplication::clipboard()->setImage(surface().Image().convertToFormat(QImage::Format_RGB32));
}

void Form1::exportMap()
{
    const QString title = QStringLiteral("导出图像");
    const QString suggested =
        m_state.AppFolder + mapFileName(m_state.RecordId, mapExtension(MapFormat::Png))
                                .value_or(MapFilePrefix + ".png");
    QString path = m_dialogs->askSaveFile(
        title, suggested,
        QStringLiteral(
            "PNG 图像 (*.png);;SVG 矢量图 (*.svg);;PDF 文件 (*.pdf);;BMP 位图 (*.BMP *.bmp)"));
    if (path.isEmpty())
        return;
    const auto format = mapFormatNamed(QFileInfo(path).suffix());
    if (!format) {
        m_dialogs->warn(title, QStringLiteral("请用 .png、.svg、.pdf 或 .BMP 作为文件的扩展名。"));
        return;
    }
    // One spelling for a bitmap, the one the save button has always written.
    if (*format == MapFormat::Bmp)
        path = path.left(path.size() - QFileInfo(path).suffix().size()) + mapExtension(*format);
    const QImage &shown = surface().Image();
    const auto size = m_dialogs->askMapSize(title, m_exportSize.value_or(MapSize{shown.width()}),
                                            !isVectorFormat(*format));
    if (!size)
        return;
    if (m_layersLost && !m_goalMap && (isVectorFormat(*format) || size->pixels != shown.width())) {
        m_dialogs->warn(title, QStringLiteral("重叠的图超过 %1 张，只能按屏幕上的大小导出为 PNG 或 "
                                              "BMP 位图。")
                                   .arg(MaxLayers));
        return;
    }
    m_exportSize = *size;
    const auto draw = [this](Surface &target) {
        drawShown(target);
    };
    // The map area's own pixels at its own size; at another size, drawn again.
    std::optional<RasterSurface> resized;
    if (!isVectorFormat(*format) && size->pixels != shown.width()) {
        resized.emplace(size->pixels);
        draw(*resized);
    }
    const Result<QByteArray> map =
        encodeMap(*format, resized ? resized->Image() : shown, draw, *size);
    const Result<void> saved = map ? saveFileSafely(*map, path, Durability::Synced)
                                   : Result<void>(map.failure().withPath(path));
    if (!saved)
        m_dialogs->warn(
            title,
            QStringLiteral("无法保存“%1”：%2")
                .arg(QDir::toNativeSeparators(path), shell::describeFailure(saved.failure())),
            shell::failureDetails(saved.failure()));
}

void Form1::showAnalysis()
{
    if (!m_analysis) {
        m_analysis = new AnalysisDialog(this);
        // Beside the window, so the map stays in view.
        if (const QScreen *where = screen())
            m_analysis->move(
                besideWindow(frameGeometry(), m_analysis->size(), where->availableGeometry()));
    }
    updateAnalysis();
    m_analysis->show();
    m_analysis->raise();
}

void Form1::updateAnalysis()
{
    if (!m_analysis)
        return;
    // Analysed once a record change, whether the marks or the dialog asked first.
    const bool current = m_current >= 0 && m_current < m_table.count();
    if (current && !m_record.analysis && m_record.fields.responses)
        m_record.analysis = analysis::analyse(*m_record.fields.responses);
    m_analysis->showRecord(m_state.RecordId,
                           current && m_record.analysis ? &*m_record.analysis : nullptr,
                           current && m_record.factors ? &*m_record.factors : nullptr);
}

void Form1::retryPendingWrites()
{
    const int waiting = m_model->pendingCount();
    if (waiting == 0) {
        m_retry->stop();
        return;
    }
    if (m_model->retryPending()) {
        m_retry->stop();
        m_pendingWarning.clear();
        m_dialogs->inform(QStringLiteral("修改已写入"),
                          QStringLiteral("之前未能写入的 %1 处修改现已写入“%2”。")
                              .arg(waiting)
                              .arg(QDir::toNativeSeparators(m_table.path())));
        return;
    }
    // Still failing: said again only when the reason is new, so browsing is not a string of
    // boxes; the red cells keep showing it.
    const QString reason = m_model->pendingReason();
    if (reason == m_pendingWarning)
        return;
    m_pendingWarning = reason;
    m_dialogs->warn(QStringLiteral("无法写入数据库"),
                    QStringLiteral("仍有 %1 处修改未能写入“%2”：%3")
                        .arg(m_model->pendingCount())
                        .arg(QDir::toNativeSeparators(m_table.path()), reason));
}

void Form1::showResults()
{
    Text2->setText(m_state.Text2);
    Text3->setText(m_state.Text3);
    Text4->setText(m_state.Text4);
    for (QLineEdit *t : {Text2, Text3, Text4})
        t->setCursorPosition(0);
    Picture1->update();
}

void Form1::moveTo(int position)
{
    if (!m_table.isOpen() || m_table.count() == 0)
        return;
    position = std::clamp(position, 0, m_table.count() - 1);
    const int column = std::max(0, grid->currentIndex().column());
    grid->setCurrentIndex(m_model->index(position, column));
    // The grid reports the row change; when it already stood there, report it here.
    if (m_current != position)
        onGridRowChanged(position);
}

void Form1::onGridRowChanged(int row)
{
    if (row < 0 || row >= m_table.count() || row == m_current)
        return;
    m_current = row;
    Data1_Reposition();
}

void Form1::deleteRows(const QList<int> &rows)
{
    int records = 0;
    for (int row : rows)
        records += m_model->isNewRecordRow(row) ? 0 : 1;
    if (records == 0)
        return;
    if (!m_dialogs->askYesNo(QStringLiteral("删除记录"),
                             QStringLiteral("删除选中的 %1 条记录吗？").arg(records)))
        return;
    if (const Result<void> removed = m_model->removeRecords(rows); !removed) {
        m_dialogs->warn(
            QStringLiteral("删除记录"),
            QStringLiteral("没有删除任何记录：%1").arg(shell::describeFailure(removed.failure())),
            shell::failureDetails(removed.failure()));
        return;
    }
    // Another record now stands at the current place: show it.
    const int position = std::min(m_current, m_table.count() - 1);
    m_current = -1;
    Data1->setPosition(-1, m_table.count(), !m_table.complete());
    if (position >= 0)
        moveTo(position);
}
