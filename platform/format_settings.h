// The number format of the program's own controls: what a user types and
// reads in a numeric field. It is the program's setting, not the desktop
// locale's, so fields read the same on every machine; texts stored in files
// always use '.' whatever it says.
#pragma once

struct TFormatSettings {
    char16_t DecimalSeparator = u'.';
};

// The process's settings (the user interface thread reads and writes them).
TFormatSettings& FormatSettings();
