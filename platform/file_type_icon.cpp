#include "platform/file_type_icon.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fnmatch.h>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/xdg.h"

namespace {

std::vector<std::string> DataDirs() {
    std::vector<std::string> dirs{XdgDataHome()};
    const char* env = std::getenv("XDG_DATA_DIRS");
    std::string list = env && *env ? env : "/usr/local/share:/usr/share";
    std::stringstream in(list);
    for (std::string dir; std::getline(in, dir, ':');)
        if (!dir.empty() && dir[0] == '/') dirs.push_back(dir);
    return dirs;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string BaseName(const std::string& fileName) {
    const size_t slash = fileName.find_last_of('/');
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

// The database's generic icon for a type, empty when it names none.
std::string GenericIcon(const std::string& type) {
    for (const std::string& dir : DataDirs()) {
        std::ifstream in(dir + "/mime/generic-icons");
        for (std::string line; std::getline(in, line);) {
            const size_t colon = line.find(':');
            if (colon != std::string::npos && line.compare(0, colon, type) == 0 && colon == type.size())
                return line.substr(colon + 1);
        }
    }
    return {};
}

}  // namespace

std::string MimeTypeOfFileName(const std::string& fileName) {
    const std::string name = BaseName(fileName);
    const std::string lower = Lower(name);
    std::string best = "application/octet-stream";
    int bestWeight = -1;
    size_t bestLength = 0;
    for (const std::string& dir : DataDirs()) {
        std::ifstream in(dir + "/mime/globs2");
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#') continue;
            // weight:type:glob[:flags]
            std::vector<std::string> fields;
            std::stringstream parts(line);
            for (std::string field; std::getline(parts, field, ':');) fields.push_back(field);
            if (fields.size() < 3) continue;
            const int weight = std::atoi(fields[0].c_str());
            const bool caseSensitive = fields.size() > 3 && fields[3].find("cs") != std::string::npos;
            const std::string& glob = fields[2];
            const std::string& subject = caseSensitive ? name : lower;
            const std::string pattern = caseSensitive ? glob : Lower(glob);
            if (fnmatch(pattern.c_str(), subject.c_str(), 0) != 0) continue;
            if (weight > bestWeight || (weight == bestWeight && glob.size() > bestLength)) {
                best = fields[1];
                bestWeight = weight;
                bestLength = glob.size();
            }
        }
        if (bestWeight >= 0) break;  // the first database that knows the name decides
    }
    return best;
}

std::string FileTypeIconPath(const std::string& fileName, int size) {
    const std::string type = MimeTypeOfFileName(fileName);
    std::vector<std::string> names;
    std::string own = type;
    std::replace(own.begin(), own.end(), '/', '-');
    names.push_back(own);
    if (std::string generic = GenericIcon(type); !generic.empty()) names.push_back(generic);
    names.push_back(type.substr(0, type.find('/')) + "-x-generic");
    names.push_back("text-x-generic");
    names.push_back("application-x-generic");
    // Sizes in order of preference: the size itself, larger ones, smaller ones.
    std::vector<int> sizes{8, 16, 22, 24, 32, 48, 64, 96, 128, 256, 512};
    std::stable_sort(sizes.begin(), sizes.end(), [size](int a, int b) {
        const bool aUp = a >= size, bUp = b >= size;
        if (aUp != bUp) return aUp;
        return aUp ? a < b : a > b;
    });
    std::error_code error;
    for (const std::string& name : names)
        for (const char* theme : {"Adwaita", "hicolor"})
            for (int s : sizes)
                for (const std::string& dir : DataDirs()) {
                    const std::string folder = dir + "/icons/" + theme + "/" + std::to_string(s) + "x" + std::to_string(s);
                    for (const char* context : {"/mimetypes/", "/"}) {
                        const std::string path = folder + context + name + ".png";
                        if (std::filesystem::is_regular_file(path, error)) return path;
                    }
                }
    return {};
}
