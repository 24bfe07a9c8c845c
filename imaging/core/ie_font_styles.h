// The style set a logical-font record describes.
#pragma once

#include "platform/fonts.h"

// Bold from weight 700 on, and the italic, underline and strike-out bytes;
// none for no font.
TFontStyles IEFontStylesFromLogFont(const TLogFont* font);
