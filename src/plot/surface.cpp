#include "plot/surface.h"

Surface::~Surface() = default;
