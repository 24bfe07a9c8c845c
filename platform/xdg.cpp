#include "platform/xdg.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
    return "/tmp";
}

std::string FromEnvironment(const char* variable, const char* fallbackBelowHome) {
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') return value;
    return HomeFolder() + fallbackBelowHome;
}

}  // namespace

std::string XdgConfigHome() { return FromEnvironment("XDG_CONFIG_HOME", "/.config"); }
std::string XdgDataHome() { return FromEnvironment("XDG_DATA_HOME", "/.local/share"); }
