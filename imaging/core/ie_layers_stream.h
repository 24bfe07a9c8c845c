// The layers stream: every layer of a view with its properties and its image,
// after the 25-byte header "RIDIREVARAVIZ", version, image format and layer
// count. Here is the test that tells such a stream; the view reads it
// (TVidurErView::LayersLoadFromStream).
#pragma once

#include "platform/stream.h"

// True when a layers stream of a version above 0 starts at the position;
// the position is restored.
bool IETryLayersStream(TStream& stream);
