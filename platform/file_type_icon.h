// The desktop's icon for a file name, found as freedesktop desktops find it:
// the shared-mime-info database ($XDG_DATA_HOME and $XDG_DATA_DIRS, file
// "mime/globs2") gives the file's MIME type by its name, the type gives an
// icon name (the type with '/' made '-', the database's generic icon, then
// the media type's generic icon), and the icon themes (Adwaita, then
// hicolor) give a PNG file of that name.
#pragma once

#include <string>

// The MIME type of a file name by its globs; "application/octet-stream"
// when nothing matches.
std::string MimeTypeOfFileName(const std::string& fileName);

// The PNG icon of the file name's type closest to size pixels (a larger
// one before a smaller one); empty when the themes hold none.
std::string FileTypeIconPath(const std::string& fileName, int size);
