// Camera RAW files: the identification that tells a camera's sensor file,
// through the LibRaw decoder reading from our streams.
#pragma once

#include "platform/stream.h"

// True when the RAW identification recognises a camera file from the
// position on; the position is restored. Never raises.
bool IEIsRAWStream(TStream& stream);
