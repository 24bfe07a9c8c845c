// The per-user folders of the XDG base-directory conventions, in place of the
// system's per-user application-data and settings folders.
#pragma once

#include <string>

// $XDG_CONFIG_HOME, or ~/.config when it is unset, empty or not absolute.
std::string XdgConfigHome();
// $XDG_DATA_HOME, or ~/.local/share likewise.
std::string XdgDataHome();
