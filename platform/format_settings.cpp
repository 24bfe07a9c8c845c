#include "platform/format_settings.h"

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}
