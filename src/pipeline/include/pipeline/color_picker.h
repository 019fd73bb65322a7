#pragma once

#include "core/colour.h"

// Asks the user for a curve colour (the common dialog's ShowColor, then Color). Cancel keeps
// the colour last chosen, so the picker always answers with a colour.
class ColorPicker
{
public:
    virtual ~ColorPicker();
    virtual Long ShowColor() = 0;
};

// A picker that answers without asking: the command line's fixed colour, and tests.
class FixedColorPicker : public ColorPicker
{
public:
    explicit FixedColorPicker(Long colour)
        : m_colour(colour)
    {
    }
    Long ShowColor() override { return m_colour; }

private:
    Long m_colour;
};
