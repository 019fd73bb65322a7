#include "pipeline/color_picker.h"

ColorPicker::~ColorPicker() = default;
