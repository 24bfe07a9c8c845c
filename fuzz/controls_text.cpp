// Text files and ini files of any encoding, the conversions under them and
// the settings store's text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "controls/ucinifiles.h"
#include "controls/wstrlist.h"
#include "platform/codepage.h"
#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    std::string text(bytes.begin(), bytes.end());

    TMemoryStream stream(bytes);
    TUcStringList lines;
    lines.LoadFromStream(stream);
    TUcMemIniFile ini(u"");
    ini.SetStrings(lines);
    TUcStringList sections;
    ini.ReadSections(sections);
    for (int i = 0; i < sections.Count() && i < 8; ++i) {
        TUcStringList names;
        ini.ReadSection(sections.Get(i), names);
        for (int k = 0; k < names.Count() && k < 8; ++k) {
            ini.ReadString(sections.Get(i), names.Get(k), u"");
            ini.ReadInteger(sections.Get(i), names.Get(k), 0);
            ini.ReadFloat(sections.Get(i), names.Get(k), 0);
            ini.ReadDateTime(sections.Get(i), names.Get(k), 0);
            TMemoryStream binary;
            ini.ReadBinaryStream(sections.Get(i), names.Get(k), binary);
        }
    }
    TUcStringList written;
    ini.GetStrings(written);

    TMemoryStream again(bytes);
    WStrList::TWideStringList sorted;
    sorted.SetSorted(true);
    sorted.LoadFromStream(again);
    try {
        sorted.ReadWideStringsProperty(text);
    } catch (const EReadError&) {
    }

    try {
        Utf7ToWide(text);
    } catch (const EUcGeneralError&) {
    }
    UcSystem::Utf8ToWide(text);
    MultiByteToWide(text, 936);
    TRegistry::RewriteStoreText(text);
    return 0;
}
