#pragma once

// Test doubles of the drawing layers' surroundings: a surface that keeps every call, with simple
// deterministic text metrics, so positions can be checked in the 4095-unit space; and a colour
// picker that counts how often it was asked.

#include "pipeline/color_picker.h"
#include "plot/surface.h"

#include <QList>
#include <QString>

struct RecordedText
{
    QString text;
    float x, y, fontSize;
    std::int32_t colour;
};

struct RecordedDot
{
    float x, y;
    std::int32_t colour;
};

class RecordingSurface : public Surface
{
public:
    void PSet(float x, float y, std::int32_t colour) override { dots.append({x, y, colour}); }
    void LineBox(float x1, float y1, float x2, float y2) override
    {
        boxes.append({x1, y1, x2, y2});
    }
    void Print(const QString &text) override
    {
        texts.append({text, CurrentX, CurrentY, FontSize, ForeColor});
    }
    // 10 units per character and point of size wide, 20 per point high.
    float TextWidth(const QString &text) override { return float(text.size()) * FontSize * 10; }
    float TextHeight(const QString &) override { return FontSize * 20; }
    void FillCells(float left, float top, float width, float height,
                   const std::function<bool(double, double)> &inside, std::int32_t colour) override
    {
        // One cell ten logical units wide: how many of them the region holds.
        for (float y = top + 5; y < top + height; y += 10)
            for (float x = left + 5; x < left + width; x += 10)
                filled += inside(x, y) ? 1 : 0;
        fillColour = colour;
    }
    // With `paths`, a vector drawing's surface: its lines and turned texts are kept too.
    bool paths = false;
    bool KeepsPaths() const override { return paths; }
    double PathTolerance() const override { return 0.25; }
    struct Line
    {
        std::vector<QPointF> points;
        bool closed;
        std::int32_t colour;
    };
    struct Turned
    {
        QString text;
        double x, y, degrees;
    };
    void Path(const std::vector<QPointF> &points, bool closed, std::int32_t colour) override
    {
        lines.append({points, closed, colour});
    }
    void PrintTurned(const QString &text, double x, double y, double degrees) override
    {
        turned.append({text, x, y, degrees});
    }
    QList<Line> lines;
    QList<Turned> turned;
    qsizetype filled = 0;
    std::int32_t fillColour = -1;
    void Clear() override
    {
        ++clears;
        dots.clear();
        texts.clear();
        boxes.clear();
    }

    QList<RecordedDot> dots;
    QList<RecordedText> texts;
    QList<QList<float>> boxes;
    int clears = 0;
};

// A picker that counts how often it was asked.
class CountingPicker : public ColorPicker
{
public:
    explicit CountingPicker(Long colour)
        : m_colour(colour)
    {
    }
    Long ShowColor() override
    {
        ++shown;
        return m_colour;
    }
    int shown = 0;

private:
    Long m_colour;
};
