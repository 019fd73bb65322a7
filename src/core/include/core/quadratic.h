#pragma once

// The coefficients of the full quadratic model
// Y = b0 + b1·X1 + b2·X2 + b11·X1² + b22·X2² + b12·X1·X2 as the window's fit stores them, in
// single precision: what the fit hands to the map.
struct QuadraticCoefficients
{
    float b0 = 0, b1 = 0, b2 = 0, b11 = 0, b22 = 0, b12 = 0;
};
