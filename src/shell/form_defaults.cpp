#include "shell/form_defaults.h"

#include "core/program_folder.h"
#include "pipeline/record_change.h"
#include "plot/layers.h"

void initializeDesign(FormState &s)
{
    const DesignConstants &d = designConstants();
    s.DesignMatrix = d.matrix;
    s.TwoAlphaFourth = d.twoAlphaFourth;
    s.SumSquares = d.sumSquares;
    s.SumFourth = d.sumFourth;
    s.BlockDeterminant = d.blockDeterminant;
    s.WeightMean = d.weightMean;
    s.WeightSame = d.weightSame;
    s.WeightCross = d.weightCross;
    s.WeightOther = d.weightOther;
}

void initializeFormState(FormState &s, const QString &appPath)
{
    s.AppFolder = appFolderFrom(appPath);
    const plot::PlotGeometry &g = plot::DesignedGeometry;
    s.PlotLeft = Integer(g.left);
    s.PlotTop = Integer(g.top);
    s.TickSpacing = Integer(g.tickSpacing);
    s.TickOffsetX = Integer(g.tickOffsetX);
    s.TickOffsetY = Long(g.tickOffsetY);
    s.LineCount = float(LineCountDefault);
    const CurveColour start;
    s.CurveColor = start.colour;
    s.PlotSize = Integer(g.size);
    s.ColorIndex = start.index;
    s.RecordId = QStringLiteral("1");
    initializeDesign(s);
}
