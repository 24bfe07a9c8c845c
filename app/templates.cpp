#include "app/templates.h"

#include <algorithm>
#include <filesystem>

#include "app/app_utils.h"
#include "app/xml_document.h"
#include "controls/ucsysutils.h"
#include "swf/actions_swf4.h"
#include "swf/actions_swf5.h"
#include "swf/do_action.h"
#include "swf/reader.h"

namespace {

// Strings of SWF 6 and later are UTF-8; older files hold code-page text.
WideString SwfText(const std::string& bytes, uint8_t version) {
    if (version >= 6) {
        WideString text = UcSystem::Utf8ToWide(bytes);
        if (!text.empty() || bytes.empty()) return text;
    }
    return AnsiToWideDefault(bytes);
}

bool IsPoolReference(const TPushValue& value) {
    return value.Kind() == TPushValueKind::Constant8 || value.Kind() == TPushValueKind::Constant16;
}

// The names of a folder's entries except "." and "..", sorted as the lists
// of the interface sort them (case-insensitive, ties by case).
std::vector<WideString> SortedEntries(const WideString& folder) {
    std::vector<WideString> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(UcSystem::WideToUtf8(folder), error))
        names.push_back(UcSystem::Utf8ToWide(entry.path().filename().string()));
    std::sort(names.begin(), names.end(), [](const WideString& a, const WideString& b) {
        int order = LocaleCompareText(a, b);
        return order != 0 ? order < 0 : LocaleCompareStr(a, b) < 0;
    });
    return names;
}

bool IsFolder(const WideString& path) {
    std::error_code error;
    return std::filesystem::is_directory(UcSystem::WideToUtf8(path), error);
}

// The record of one template entry, or null (with the reason noted) when
// the entry is no usable template.
std::unique_ptr<EffectRecord> ReadTemplateEntry(const WideString& path, TScanProblems* problems) {
    auto note = [&](const WideString& why) {
        if (problems != nullptr) problems->push_back(path + u": " + why);
    };
    if (IsFolder(path)) {
        note(u"a folder, not a template");
        return nullptr;
    }
    try {
        std::unique_ptr<EffectRecord> record;
        if (!ReadParamsDefine(path, record)) record = std::make_unique<EffectRecord>();
        return record;
    } catch (const std::exception& e) {
        note(UcSystem::Utf8ToWide(e.what()));
        return nullptr;
    }
}

}  // namespace

WideString EffectFolderName(int kind) {
    switch (kind) {
    case ekBackground: return u"background";
    case ekText: return u"text";
    case ekImage: return u"image";
    }
    throw Exception(FormatStr("Unknown kind of effect folder: %d", kind));
}

std::unique_ptr<TSWFStreamReader> ReadTemplateFile(const WideString& templatePath) {
    const std::string name = UcSystem::WideToUtf8(templatePath);
    if (!WideFileExists(templatePath)) throw EFOpenError("The effect template \"" + name + "\" does not exist");
    std::unique_ptr<TSWFStreamReader> reader;
    try {
        reader = std::make_unique<TSWFStreamReader>(name);
    } catch (const std::exception& e) {
        throw EFOpenError("Cannot read the effect template \"" + name + "\": " + e.what());
    }
    if (!reader->Valid) throw EReadError("The effect template \"" + name + "\" is not an SWF movie");
    std::vector<std::string> damage = reader->FindDamage();
    if (!damage.empty()) throw EReadError("The effect template \"" + name + "\" is damaged: " + damage.front());
    reader->ParseTags(true, true);
    return reader;
}

std::optional<WideString> FindParamsDefine(const WideString& templatePath) {
    std::unique_ptr<TSWFStreamReader> file = ReadTemplateFile(templatePath);
    TSWFStreamReader& reader = *file;
    const TSWFActionConstantPool* pool = nullptr;
    std::optional<size_t> nameIndex;
    for (size_t t = 0; t < reader.TagCount(); ++t) {
        TSWFTagInfo& info = reader.GetTagInfo(t);
        auto* doAction = dynamic_cast<TSWFDoAction*>(info.Object);
        if (info.TagCode != 12 || doAction == nullptr) continue;
        for (const auto& action : doAction->Actions()) {
            if (auto* constants = dynamic_cast<const TSWFActionConstantPool*>(action.get())) {
                pool = constants;
                auto found = std::find_if(constants->Constants.begin(), constants->Constants.end(),
                                          [&](const std::string& entry) {
                                              return WideSameText(SwfText(entry, reader.Version), u"ParamsDefine");
                                          });
                // Pool references point into the newest pool: one without the
                // name leaves nothing that could name it.
                nameIndex.reset();
                if (found != constants->Constants.end())
                    nameIndex = static_cast<size_t>(found - constants->Constants.begin());
            } else if (auto* push = dynamic_cast<const TSWFActionPush*>(action.get())) {
                if (!nameIndex || pool == nullptr || push->GetValueCount() < 2) continue;
                // Only pool references count: an integer or a register that
                // happens to equal the index names nothing.
                TPushValue name = push->GetValue(0), document = push->GetValue(1);
                if (!IsPoolReference(name) || static_cast<size_t>(name.AsInteger()) != *nameIndex) continue;
                if (!IsPoolReference(document)) continue;
                size_t at = static_cast<size_t>(document.AsInteger());
                if (at >= pool->Constants.size()) continue;
                return SwfText(pool->Constants[at], reader.Version);
            }
        }
    }
    return std::nullopt;
}

std::unique_ptr<EffectRecord> ParseParamsDefine(const WideString& text) {
    auto record = std::make_unique<EffectRecord>();
    TAppXmlDocument document(text);
    TXmlNode root = document.DocumentElement();
    if (XmlNodeName(root) != u"ParamsDefine") return record;
    for (const TXmlNode& item : XmlItems(root)) {
        auto attribute = [&](const char* name) { return XmlAttribute(item, name).value_or(u""); };
        TEffectParam param;
        param.Name = XmlNodeName(item);
        param.Value = attribute("default");
        param.Type = attribute("type");
        param.Caption = attribute("caption");
        param.Default = attribute("default");
        if (WideSameText(param.Type, u"integer")) {
            param.Min = attribute("min");
            param.Max = attribute("max");
        }
        if (WideSameText(param.Type, u"selection")) param.Selection = attribute("selection");
        record->Params.push_back(std::move(param));
    }
    return record;
}

bool ReadParamsDefine(const WideString& templatePath, std::unique_ptr<EffectRecord>& record) {
    std::optional<WideString> document = FindParamsDefine(templatePath);
    if (!document) return false;
    record = ParseParamsDefine(*document);
    return true;
}

int ScanEffectFolder(int kind, TEffectTree& tree, TScanProblems* problems) {
    tree.Themes.clear();
    WideString folder = GetProgramFolder() + EffectFolderName(kind) + u"/";
    int count = 0;
    for (const WideString& themeName : SortedEntries(folder)) {
        WideString themeFolder = folder + themeName + u"/";
        if (!IsFolder(themeFolder)) {
            if (problems != nullptr) problems->push_back(folder + themeName + u": a file, not a theme folder");
            continue;
        }
        TEffectTheme theme{themeName, {}};
        for (const WideString& fileName : SortedEntries(themeFolder)) {
            ++count;
            std::unique_ptr<EffectRecord> record = ReadTemplateEntry(themeFolder + fileName, problems);
            if (record == nullptr) continue;
            record->ThemeName = themeName;
            record->TemplateName = fileName;
            theme.Templates.push_back({fileName, std::move(record)});
        }
        tree.Themes.push_back(std::move(theme));
    }
    return count;
}

void LoadPreloaderList(std::vector<TPreloaderItem>& list, TScanProblems* problems) {
    list.clear();
    WideString folder = GetProgramFolder() + u"preloader/";
    for (const WideString& fileName : SortedEntries(folder)) {
        std::unique_ptr<EffectRecord> record = ReadTemplateEntry(folder + fileName, problems);
        if (record == nullptr) continue;
        record->TemplateName = fileName;
        list.push_back({fileName, std::move(record)});
    }
}

int ScanTemplates(TProjectState& state, TScanProblems* problems) {
    LoadPreloaderList(state.CmbPreLoader, problems);
    state.CmbPreLoaderIndex = state.CmbPreLoader.empty() ? -1 : 0;
    state.CmbPreLoaderText = state.CmbPreLoader.empty() ? WideString() : state.CmbPreLoader[0].FileName;
    if (!state.CmbPreLoader.empty()) ApplyPreloaderColors(state, *state.CmbPreLoader[0].Effect);
    int count = ScanEffectFolder(ekBackground, state.TreeBg, problems);
    count += ScanEffectFolder(ekImage, state.TreeImageEffect, problems);
    count += ScanEffectFolder(ekText, state.TreeTextEffect, problems);
    return count;
}

void ApplyPreloaderColors(TProjectState& state, const EffectRecord& preloader) {
    for (const TEffectParam& param : preloader.Params) {
        if (!WideSameText(param.Type, u"color")) continue;
        TColor* target = WideSameText(param.Name, u"Bg.Color")     ? &state.ColorPl
                         : WideSameText(param.Name, u"Bg.BgColor") ? &state.ColorPlBg
                                                                   : nullptr;
        if (target == nullptr) continue;
        try {
            *target = HexToColor(param.Value);
        } catch (const EConvertError&) {
        }
    }
}

std::vector<WideString> SelectionChoices(const WideString& selection) {
    std::vector<WideString> choices;
    size_t start = 0;
    for (size_t cut; (cut = selection.find(u';', start)) != WideString::npos; start = cut + 1)
        choices.push_back(selection.substr(start, cut - start));
    if (start < selection.size()) choices.push_back(selection.substr(start));
    return choices;
}

TEffectParam* FindParam(EffectRecord& record, const WideString& name) {
    for (TEffectParam& param : record.Params)
        if (WideSameText(param.Name, name)) return &param;
    return nullptr;
}
