// The blank project and the examples as they ship: they name only
// templates, pictures, sounds and fonts that are there, and every value they
// hold reads back into a project unchanged.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "app/project_file.h"
#include "app/templates.h"
#include "app/xml_document.h"
#include "content/tests/content_test_support.h"
#include "platform/testing/test_support.h"

namespace {

namespace fs = std::filesystem;

// The OPTIONS keys of a project file in upper case, with their values.
std::map<std::string, std::string> Keys(const std::string& text) {
    std::map<std::string, std::string> keys;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        keys.emplace(key, line.substr(eq + 1));
    }
    return keys;
}

class TProject {
public:
    explicit TProject(const std::string& name)
        : Name(name), Text(FileBytes(ShippedProgramFolder() + name)), K(Keys(Text)) {}

    std::string Name;
    std::string Text;
    std::map<std::string, std::string> K;

    std::string Str(const std::string& key) const {
        auto found = K.find(key);
        return found != K.end() ? found->second : "";
    }
    int Int(const std::string& key) const {
        std::string text = Str(key);
        return text.empty() ? 0 : std::stoi(text);
    }
};

// A file below the program folder, named relative to it.
void ExpectShippedFile(const std::string& what, const std::string& relative) {
    EXPECT_FALSE(relative.empty()) << what << " is empty";
    EXPECT_NE(relative.front(), '/') << what << " is not relative to the program folder: " << relative;
    EXPECT_TRUE(fs::is_regular_file(ShippedProgramFolder() + relative))
        << what << " names a file that does not ship: " << relative;
}

// The effect block of base/tag names a shipped template of folder, and its
// parameters are the template's own; picture parameters name shipped files.
void ExpectShippedEffect(const TProject& p, const std::string& base, const std::string& tag,
                         const std::string& folder) {
    std::string theme = p.Str(base + "STR_THEME" + tag), file = p.Str(base + "STR_TEMPLATE" + tag);
    std::string relative = folder + "/" + (theme.empty() ? "" : theme + "/") + file;
    SCOPED_TRACE(base + tag + " " + relative);
    ASSERT_FALSE(file.empty());
    ASSERT_TRUE(fs::is_regular_file(ShippedProgramFolder() + relative)) << "no such template";
    std::unique_ptr<EffectRecord> declared;
    ASSERT_TRUE(ReadParamsDefine(UcSystem::Utf8ToWide(ShippedProgramFolder() + relative), declared));
    for (int n = 0; n < p.Int(base + "I_PARAMS" + tag); ++n) {
        std::string index = tag + "_" + std::to_string(n);
        std::string name = p.Str(base + "PARAM_STR_NAME" + index);
        TEffectParam* param = FindParam(*declared, UcSystem::Utf8ToWide(name));
        EXPECT_NE(param, nullptr) << "the template declares no " << name;
        if (param != nullptr && WideSameText(param->Type, u"imagefile"))
            ExpectShippedFile(name, p.Str(base + "PARAM_STR_VALUE" + index));
    }
}

// A parameter key: base + "PARAM_STR_" + field + tag + "_" + index; and
// the parameter counts, base + "I_PARAMS" + tag.
struct TParamKey {
    std::string Base, Field, Tag, Index;
};
bool IsParamCount(const std::string& key) { return key.find("I_PARAMS") != std::string::npos; }
bool ParseParamKey(const std::string& key, TParamKey& out) {
    size_t at = key.find("PARAM_STR_");
    if (at == std::string::npos) return false;
    out.Base = key.substr(0, at);
    size_t field = at + 10, digits = key.find_first_of("0123456789", field);
    size_t cut = key.rfind('_');
    if (digits == std::string::npos || cut == std::string::npos || cut < digits) return false;
    out.Field = key.substr(field, digits - field);
    out.Tag = key.substr(digits, cut - digits);
    out.Index = key.substr(cut + 1);
    return true;
}
bool IsParamKey(const std::string& key) {
    TParamKey ignored;
    return IsParamCount(key) || ParseParamKey(key, ignored);
}

// The style names the runs of a formatted text use.
std::set<std::string> RunStyles(const std::string& xml) {
    std::set<std::string> styles;
    TAppXmlDocument document(UcSystem::Utf8ToWide(xml));
    TXmlNode root = document.DocumentElement();
    EXPECT_EQ(UcSystem::WideToUtf8(XmlNodeName(root)), "Txt.StrFormatedText");
    for (const TXmlNode& line : XmlItems(root))
        for (const TXmlNode& run : XmlItems(line))
            styles.insert(UcSystem::WideToUtf8(XmlAttribute(run, "format").value_or(u"")));
    return styles;
}

TEST(ShippedProjects, TheBlankProjectAndThreeExamplesShip) {
    std::vector<std::string> projects = ShippedProjects();
    ASSERT_GE(projects.size(), 4u);
    EXPECT_EQ(projects[0], "default.ini");
    ASSERT_TRUE(fs::is_regular_file(ShippedProgramFolder() + "default.ini"));
    // The blank project has no stages and one background effect.
    TProject blank("default.ini");
    EXPECT_EQ(blank.Int("I_DYNAMICSTAGES"), 0);
    EXPECT_EQ(blank.Int("I_BGMOVIE"), 1);
    EXPECT_EQ(blank.Str("FONT_STR_NAME0"), "default");
}

TEST(ShippedProjects, NameOnlyShippedTemplatesFilesAndFonts) {
    bool fontsChecked = ToolInstalled("fc-match");
    for (const std::string& name : ShippedProjects()) {
        SCOPED_TRACE(name);
        TProject p(name);
        EXPECT_EQ(p.Str("I_STATICSTAGES"), "0");
        if (p.Int("B_REPLOADER")) ExpectShippedFile("the preloader", "preloader/" + p.Str("STR_PRELOADER"));
        if (!p.Str("PLMOVIE_STR_TEMPLATE").empty()) ExpectShippedEffect(p, "PLMOVIE_", "", "preloader");
        if (p.Int("B_SOUND")) ExpectShippedFile("the sound", p.Str("STR_SOUNDFILE"));
        for (int i = 0; i < p.Int("I_BGIMAGE"); ++i)
            ExpectShippedFile("background picture " + std::to_string(i), p.Str("STR_BGIMAGE" + std::to_string(i)));
        for (int e = 0; e < p.Int("I_BGMOVIE"); ++e)
            ExpectShippedEffect(p, "BGMOVIE_", std::to_string(e), "background");

        std::set<std::string> styles;
        for (int f = 0; f < p.Int("I_FONTFORMATS"); ++f) {
            std::string n = std::to_string(f);
            styles.insert(p.Str("FONT_STR_NAME" + n));
            std::string font = p.Str("FONT_STR_FONTNAME" + n);
            // The machine has the face itself, not a stand-in for it.
            if (fontsChecked) {
                std::string match = CommandOutput("fc-match -f '%{family}' '" + font + "'");
                EXPECT_NE(match.find(font), std::string::npos) << font << " is matched by " << match;
            }
        }
        EXPECT_EQ(styles.count("default"), 1u);

        for (int s = 0; s < p.Int("I_DYNAMICSTAGES"); ++s) {
            std::string n = std::to_string(s);
            SCOPED_TRACE("stage " + n);
            bool picture = p.Int("DYNAMICTEXTS_B_IMAGE" + n) != 0;
            ExpectShippedEffect(p, "DYNAMICTEXTS_", n, picture ? "image" : "text");
            if (picture) {
                ExpectShippedFile("the picture", p.Str("DYNAMICTEXTS_STR_IMAGEFILE" + n));
            } else {
                for (const std::string& style : RunStyles(p.Str("DYNAMICTEXTS_STR_FORMATEDTEXT" + n)))
                    EXPECT_EQ(styles.count(style), 1u) << "no font style " << style;
            }
        }
    }
    if (!fontsChecked) TW_SKIP_OR_FAIL() << "fc-match is not installed";
}

// Read into a project and written again, every key keeps its value; of the
// parameters, each stored value comes back under its name (the rest of
// a parameter's fields are the installed template's).
TEST(ShippedProjects, EveryValueReadsBack) {
    TShippedProgramFolder folder;
    for (const std::string& name : ShippedProjects()) {
        SCOPED_TRACE(name);
        TProjectState state;
        TScanProblems scanProblems;
        ScanTemplates(state, &scanProblems);
        for (const WideString& problem : scanProblems) ADD_FAILURE() << UcSystem::WideToUtf8(problem);
        TProjectReadProblems problems;
        ASSERT_TRUE(ReadProjectFile(UcSystem::Utf8ToWide(ShippedProgramFolder() + name), state, &problems));
        for (const WideString& problem : problems) ADD_FAILURE() << UcSystem::WideToUtf8(problem);
        std::unique_ptr<ProjectRecord> record = GatherProject(state);
        TProject original(name);
        std::map<std::string, std::string> again = Keys(ProjectFileText(*record));

        // Parameter values by block and name, on both sides.
        auto values = [&](const std::map<std::string, std::string>& keys) {
            std::map<std::string, std::string> byName;
            for (const auto& [key, value] : keys) {
                TParamKey m;
                if (!ParseParamKey(key, m) || m.Field != "NAME") continue;
                auto found = keys.find(m.Base + "PARAM_STR_VALUE" + m.Tag + "_" + m.Index);
                byName[m.Base + m.Tag + ":" + value] = found != keys.end() ? found->second : "";
            }
            return byName;
        };
        std::map<std::string, std::string> stored = values(original.K), read = values(again);
        for (const auto& [param, value] : stored) {
            auto found = read.find(param);
            if (found == read.end())
                ADD_FAILURE() << param << " is lost";
            else
                EXPECT_EQ(found->second, value) << param;
        }
        for (const auto& [key, value] : original.K) {
            if (IsParamKey(key)) continue;
            auto found = again.find(key);
            if (found == again.end())
                ADD_FAILURE() << key << " is lost";
            else
                EXPECT_EQ(found->second, value) << key;
        }
        for (const auto& [key, value] : again)
            if (!IsParamKey(key) && original.K.count(key) == 0) ADD_FAILURE() << key << " is missing from the file";
    }
}

}  // namespace
