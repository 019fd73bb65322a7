#pragma once

#include "plot/surface.h"

#include <cmath>
#include <cstdlib>

// Counts what is drawn and checks every dot lands in the plot square.
class CheckingSurface : public Surface
{
public:
    void PSet(float x, float y, std::int32_t) override
    {
        if (!(x >= 400 - 0.01f && x <= 3795 + 0.01f && y >= 300 - 0.01f && y <= 3695 + 0.01f))
            std::abort();
        ++dots;
    }
    void LineBox(float, float, float, float) override {}
    void Print(const QString &) override
    {
        if (!std::isfinite(CurrentX) || !std::isfinite(CurrentY))
            std::abort();
        ++texts;
    }
    float TextWidth(const QString &text) override { return float(text.size()) * 70; }
    float TextHeight(const QString &) override { return 140; }
    void Clear() override {}
    void FillCells(float, float, float, float, const std::function<bool(double, double)> &,
                   std::int32_t) override
    {
    }
    long dots = 0;
    long texts = 0;
};
