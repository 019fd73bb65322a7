#include "shell/help.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPointer>
#include <QSvgGenerator>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

QPixmap iconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, size > 16);
    // Nested contours of a hill, as the map draws them, in a framed square.
    const QColor rings[] = {QColor(0, 0, 128), QColor(0, 128, 128), QColor(0, 128, 0),
                            QColor(255, 0, 0)};
    const double c = size / 2.0;
    for (int i = 0; i < 4; ++i) {
        const double r = (size / 2.0 - 2) * (4 - i) / 4.0;
        painter.setPen(QPen(rings[i], size > 16 ? 2 : 1));
        painter.drawEllipse(QPointF(c + i * size / 32.0, c - i * size / 32.0), r, r * 0.7);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(0, 0, size - 1, size - 1);
    return pixmap;
}

const char *const HelpText = R"(
<h3>Tesmora —— 两变量中心复合旋转设计</h3>
<p>本程序为两因素中心复合旋转设计（α = 1.4142，三个中心点，共 11 次试验）拟合完整的二次回归模型
Y = b0 + b1·X1 + b2·X2 + b11·X1² + b22·X2² + b12·X1·X2，显示回归方程、相关系数 R、
剩余标准差 S，并画出拟合曲面的等高线图。</p>
<h4>输入一组试验</h4>
<p>右侧表格中每一行是一组试验（数据保存在 %FOLDER% 中的“配方数据.mdb”里）：</p>
<ul>
<li><b>ID</b>：编号（数字）；自动着色时决定曲线颜色（0～15），也用于保存图片的文件名。</li>
<li><b>Y1～Y4</b>：析因点 (−1,−1)、(1,−1)、(−1,1)、(1,1) 的试验结果；</li>
<li><b>Y5～Y8</b>：星号点 (1.414,0)、(−1.414,0)、(0,1.414)、(0,−1.414) 的结果；</li>
<li><b>Y9～Y11</b>：三个中心点 (0,0) 的结果；</li>
<li><b>Y12</b>：性能名称，作为图的标题。</li>
</ul>
<p>在最后一行（标 *）输入即可新增一组；点行号选中整行后按 Delete 删除。每次修改离开单元格时即写入文件，
当前这组试验的图和结果随即更新。没写完的数字（如“-”、“1e”）不会被丢掉：编辑框保持打开，并提示原因，
改正后再离开，或按 Esc 放弃。写不进文件的修改以红色保留在表格中，之后会再次写入。
用表格或下方的“选择数据”箭头换到另一组试验时，图和结果随之更新。
数据库中没有“等高线表”时，表格上方提供“新建实验表”（文件中原有的表都保留）和“导入 Access 文件…”。</p>
<h4>选项</h4>
<ul>
<li><b>颜色</b>：选中时曲线颜色由 ID 自动决定；不选时每换一组试验都会弹出颜色对话框。</li>
<li><b>标注</b>：在等高线上标出数值，并显示标题。</li>
<li><b>重叠</b>：换组时不清除原图，新图画在旧图上（此时不能存图）。</li>
<li><b>线条数</b>：等高线的间隔数（1～10），下次换组时生效。</li>
</ul>
<p>单击图的外框重画坐标刻度和标题，单击图内重画网格和边框。
<b>存图</b>把当前的图保存为 %FOLDER% 中的“等高线图&lt;ID&gt;.BMP”；<b>退出</b>关闭数据表并结束程序。
按钮有焦点时，回车键和空格键都能按下它。</p>
<p>在等高线图上按鼠标右键：<b>复制图像</b>把图复制到剪贴板；<b>导出图像…</b>把图保存为 PNG、SVG、PDF
或 BMP 文件（SVG 和 PDF 是按当前记录重新画出的矢量图；重叠的图只能导出为 PNG 或 BMP）。</p>
<h4>Access 数据库</h4>
<p>%FOLDER% 中的“配方数据.mdb”如果是 Access 数据库文件，程序启动时会询问是否转换为本程序的格式：
转换后即可浏览和编辑，原文件保留为“配方数据.Access备份.mdb”（该名已有文件时另取名，不覆盖）；
不转换时以只读方式显示其中的记录。没有数据库时，表格中的“导入 Access 文件…”把选定的 Access
文件转换为本程序的数据库。转换在另一个进程中进行，进度窗口显示正在读的表，可以取消；
文件损坏时整个拒绝并说明原因，不会只转换一部分。文件中没有“等高线表”时，转换前会说明，
并可以选择照样导入并新建一个空的实验表、选择其他文件或取消。
命令行 <code>tesmora-cli import</code> 做同样的转换。</p>
<h4>模型分析</h4>
<p>在等高线图或回归方程框上按鼠标右键：</p>
<ul>
<li><b>模型分析…</b>打开一个可以一直开着的窗口，随当前记录更新，按“复制”可把内容复制为文字。
它以双精度对 11 个响应值作最小二乘拟合，给出：回归系数及其标准误、t 值、p 值（剩余自由度 5）；
方差分析（回归 5、剩余 5，剩余又分为失拟 3 和纯误差 2——纯误差来自三个中心点——总计 10），
回归与失拟的 F 值和 p 值；R²、校正 R²、由 PRESS（逐一剔除的预测残差平方和）得到的预测 R²；
驻点（两个偏导数同时为零之处）及其预测值、二次部分的特征值（典型分析）与性质：极大值、极小值、
鞍点，或当一个特征值的绝对值不到另一个的 1% 时为“脊”，以及驻点是否在作图范围内；
作图范围 |X1|、|X2| ≤ 1.414 内预测值的最大值和最小值及其位置。
数据不足以定义的数值（例如中心点完全相同时没有纯误差、完全拟合时的 t 值和 p 值）显示为“—”；
全部响应相同时曲面是水平的，没有驻点，也没有最优点的位置。
分析窗口中的系数是双精度的精确最小二乘估计；主窗口方程框中的系数是本设计的闭式单精度拟合
（与原程序一致），两者末位可能略有不同，例如 b0 为 15.066 与 15.0667。</li>
<li><b>标出驻点</b>、<b>标出最优点</b>、<b>标出试验点</b>：在换到下一条记录时，在图上标出驻点、
作图范围内的最大值和最小值（最优点就是驻点时两者合为一个标记，如“最小（驻点）”），以及九个不同的试验点和它们的实测值（中心点为三次的平均值）。
默认都不标出，图与原来完全相同。命令行 <code>tesmora-cli render --mark stationary,optimum,runs</code>
同样标出，<code>tesmora-cli analyse</code> 打印同样的分析。</li>
</ul>
)";

// The help with the data folder named where it is meant.
QString helpHtml(const QString &folder)
{
    return QString::fromUtf8(HelpText).replace(QStringLiteral("%FOLDER%"), folder);
}

} // namespace

QIcon applicationIcon()
{
    QIcon icon;
    icon.addPixmap(iconPixmap(32));
    icon.addPixmap(iconPixmap(16));
    return icon;
}

bool writeInstallFiles(const QString &folder)
{
    bool ok = true;
    for (int size : {16, 32, 48})
        ok = iconPixmap(size).save(
                 QDir(folder).filePath(QStringLiteral("tesmora-%1.png").arg(size)), "png") &&
             ok;
    {
        QSvgGenerator svg;
        svg.setFileName(QDir(folder).filePath(QStringLiteral("tesmora.svg")));
        svg.setSize(QSize(48, 48));
        svg.setViewBox(QRect(0, 0, 48, 48));
        svg.setTitle(QStringLiteral("Tesmora"));
        QPainter painter(&svg);
        painter.drawPixmap(0, 0, iconPixmap(48));
        ok = painter.end() && ok;
    }
    QFile help(QDir(folder).filePath(QStringLiteral("help.html")));
    ok =
        help.open(QIODevice::WriteOnly) &&
        help.write(QByteArray("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                              "<title>Tesmora 帮助</title></head><body>") +
                   helpHtml(QStringLiteral("数据文件夹（从构建目录运行时是程序所在的文件夹；安装后"
                                           "是 ~/.local/share/Tesmora）"))
                       .toUtf8() +
                   QByteArray("</body></html>\n")) > 0 &&
        help.flush() && ok;
    return ok;
}

void showHelpWindow(QWidget *parent, const QString &programFolder)
{
    static QPointer<QDialog> window;
    if (!window) {
        window = new QDialog(parent);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(QStringLiteral("Tesmora 帮助"));
        auto *layout = new QVBoxLayout(window);
        auto *text = new QTextBrowser(window);
        text->setHtml(helpHtml(QStringLiteral("文件夹“%1”")
                                   .arg(QDir::toNativeSeparators(programFolder).toHtmlEscaped())));
        layout->addWidget(text);
        window->resize(520, 480);
    }
    window->show();
    window->raise();
    window->activateWindow();
}
