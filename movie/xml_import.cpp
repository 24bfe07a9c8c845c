// The movie's XML form: a root element whose children are movie elements
// (frames, placements, shapes, sprites, actions, images, fonts, texts,
// sounds, metafiles) that go through the movie's factories, or SWF tag
// elements that are added as they are. Characters can be named by text
// ("IDStr") for the rest of the load.
#include <algorithm>
#include <array>

#include "movie/action_script.h"
#include "movie/buttons.h"
#include "movie/external_movie.h"
#include "movie/flash_canvas.h"
#include "movie/flash_movie.h"
#include "movie/fonts.h"
#include "movie/images.h"
#include "movie/morph_shapes.h"
#include "movie/shapes.h"
#include "movie/sounds.h"
#include "movie/sprites.h"
#include "movie/texts.h"
#include "movie/video.h"
#include "platform/codepage.h"
#include "platform/diagnostics.h"
#include "platform/mathutil.h"
#include "swf/button_tags.h"
#include "swf/do_action.h"
#include "swf/names.h"
#include "swf/sound_tags.h"
#include "swf/tag_table.h"
#include "swf/tag_xml.h"

namespace {

constexpr std::array<const char*, 19> kMovieElements = {
    "Frame", "Place", "Remove", "Shape", "Sprite", "Actions", "Image", "Font", "Text", "Sound",
    "BackgroundSound", "StartSound", "Button", "Video", "PlaceVideo", "MorphShape", "Metafile", "ExternalSWF",
    "InitActions"};

enum : int {
    kElFrame = 1, kElPlace, kElRemove, kElShape, kElSprite, kElActions, kElImage, kElFont, kElText, kElSound,
    kElBackgroundSound, kElStartSound, kElButton, kElVideo, kElPlaceVideo, kElMorphShape, kElMetafile,
    kElExternalSWF, kElInitActions,
};

std::string FullFileName(const TXMLReadWriteSettings& settings, const TXmlNode& element, const std::string& attr) {
    return settings.GetFullFileName(kDataKindNone, element.AttrStr(attr));
}

// Time is in hundredths of a second. A timeline counts its frames in 16
// bits: frames past that are refused rather than made and miscounted.
uint16_t FrameRepeat(const TXmlNode& element, float frameRate, uint32_t framesSoFar) {
    int64_t count = 1;
    if (element.HasAttribute("Repeat")) count = element.AttrInt("Repeat");
    else if (element.HasAttribute("Time")) count = RoundHalfEven(element.AttrFloat("Time") / 100.0 * frameRate);
    count = std::max<int64_t>(count, 0);
    if (count + framesSoFar > 0xFFFF)
        throw EConvertError(FormatStr("%lld more frames do not fit: a timeline holds at most 65535 frames",
                                      static_cast<long long>(count)));
    return static_cast<uint16_t>(count);
}

// 0 XML action records, 1 ActionScript source, 2 raw byte code, -1 nothing.
int ActionKind(const TXmlNode& element) {
    static const char* fileTypes[] = {"AC", "AS", "bytecode", "XML"};
    if (element.HasAttribute("FileType")) {
        std::string type = element.AttrStr("FileType");
        for (int i = 0; i < 4; ++i)
            if (AnsiSameText(type, fileTypes[i])) return i == 3 ? 0 : i;
        return -1;
    }
    if (element.HasAttribute("CodeType")) {
        std::string type = element.AttrStr("CodeType");
        for (int i = 0; i < 2; ++i)
            if (AnsiSameText(type, fileTypes[i])) return i;
        return -1;
    }
    return 0;
}

}  // namespace

int GetMovieElementCode(const std::string& name) {
    for (size_t i = 0; i < kMovieElements.size(); ++i)
        if (AnsiSameText(name, kMovieElements[i])) return static_cast<int>(i + 1);
    return 0;
}

// ---------------------------------------------------------------- names

void TFlashMovie::RegisterCharacterName(const std::string& name, uint16_t id) {
    if (CharacterNames) (*CharacterNames)[AnsiUpperCase(name)] = id;
}

int32_t TFlashMovie::FindCharacterId(const std::string& name) const {
    if (!CharacterNames) return -1;
    auto found = CharacterNames->find(AnsiUpperCase(name));
    return found == CharacterNames->end() ? -1 : static_cast<int32_t>(found->second & 0xFFFF);
}

int32_t TFlashMovie::FindCharacterDepth(const std::string& name) const {
    if (!CharacterNames) return -1;
    auto found = placedDepths_.find({loadingTimeline_, AnsiUpperCase(name)});
    return found == placedDepths_.end() ? -1 : static_cast<int32_t>(found->second);
}

void TFlashMovie::SetCharacterPlacement(const std::string& name, uint16_t depth, uint16_t id) {
    if (!CharacterNames) return;
    (*CharacterNames)[AnsiUpperCase(name)] = id;
    placedDepths_[{loadingTimeline_, AnsiUpperCase(name)}] = depth;
}

const void* TFlashMovie::SetLoadingTimeline(const void* timeline) {
    const void* previous = loadingTimeline_;
    loadingTimeline_ = timeline;
    return previous;
}

// ---------------------------------------------------------------- the loader

bool TFlashMovie::LoadFromXml(const TXmlNode& node, bool readHeader) {
    TXmlNode root = node.ChildNode("Flash");
    bool underFlash = static_cast<bool>(root);
    if (!root) root = node.ChildNode("SWF");
    if (!root) return false;
    CharacterNames.emplace();
    placedDepths_.clear();
    struct TNamesGuard {
        std::optional<std::map<std::string, uint32_t>>& names;
        ~TNamesGuard() { names.reset(); }
    } guard{CharacterNames};

    SetSystemCoord(!AnsiSameText(root.AttrStrDef("SystemCoord", ""), "Twips"));
    Settings.SetCoordDivisor(1);
    if (readHeader) {
        ReadHeaderAttrs(Settings, root, underFlash, false);
        Clear();
    }
    if (root.HasAttribute("BgColor")) GetBackgroundColor().SetRGB(ReadRGBAttr(root, "BgColor"));

    bool result = true;
    std::vector<TXmlNode> elements = root.ChildElements();
    const size_t n = elements.size();
    for (size_t i = 0; i < n; ++i) {
        ReportProgress(static_cast<int32_t>(RoundHalfEven(double(i + 1) / n * 100.0)), kProgressLoadingXml);
        const TXmlNode& element = elements[i];
        // A failing element, movie element or tag, is reported and left out;
        // the elements after it still load.
        const size_t objects = ObjectList.size();
        const uint32_t nextId = NextCharacterId;
        try {
            if (int code = GetMovieElementCode(element.NodeName())) LoadMovieElement(code, element);
            else LoadTagFromXml(element);
        } catch (const std::exception& failure) {
            DropObjectsFrom(objects, nextId);
            result = false;
            ShowMessageBox("", FormatStr("Error reading node: %d\r %s\r %s", static_cast<int>(i), element.XmlText().c_str(),
                                         failure.what()));
        }
    }
    return result;
}

void TFlashMovie::DropObjectsFrom(size_t index, uint32_t nextCharacterId) {
    // A canvas that converted part of a metafile points into what goes.
    if (Canvas && ObjectList.size() > index) Canvas.reset();
    // Each object leaves its typed list as it is freed.
    while (ObjectList.size() > index) {
        ObjectList.pop_back();
    }
    NextCharacterId = nextCharacterId;
}

void TFlashMovie::LoadTagFromXml(const TXmlNode& element) {
    const std::string name = element.NodeName();
    int32_t code = TagNameToId(name);
    if (code < 0) return;
    if (IsRawTagElementName(name)) {
        if (std::unique_ptr<TSWFObject> raw = LoadTagElement(element, Version, Settings)) ObjectList.push_back(std::move(raw));
        return;
    }
    std::unique_ptr<TSWFObject> tag = CreateTagByCode(static_cast<uint16_t>(code));
    if (TagHasTrait(static_cast<uint16_t>(code), kNeedsVersion)) tag->SetSWFVersion(Version);
    if (auto* action = dynamic_cast<TSWFDoAction*>(tag.get())) {
        action->OnLoadActions = [this](TSWFDoAction& target, const TXmlNode& node) { LoadActionsFromXml(target, node); };
    } else if (auto* placement = dynamic_cast<TSWFPlaceObject2*>(tag.get())) {
        placement->OnLoadActions = [this](TSWFPlaceObject2& target, const TXmlNode& node) {
            LoadActionsFromXml(target, node);
        };
    } else if (auto* button = dynamic_cast<TSWFBasedButton*>(tag.get())) {
        button->OnLoadActions = [this](TSWFBasedButton& target, const TXmlNode& node) { LoadActionsFromXml(target, node); };
    }
    tag->LoadFromXml(element, Settings);
    // A frame given as a tag is a frame of the movie like any other: later
    // frame numbers (resources moved to a frame, the frame limit) count it.
    if (tag->TagCode == TagCodes::ShowFrame) ++FrameCount;
    ObjectList.push_back(std::move(tag));
}

void TFlashMovie::LoadMovieElement(int code, const TXmlNode& element) {
    switch (code) {
        case kElFrame: {
            uint16_t count = FrameRepeat(element, GetFrameRate(), FrameCount);
            if (element.HasAttribute("Label")) FrameLabel = element.AttrStr("Label");
            if (count > 0) ShowFrame(count);
            break;
        }
        case kElPlace: LoadPlacementFromXml(element); break;
        case kElRemove: {
            int32_t depth = -1;
            if (element.HasAttribute("IDStr")) {
                depth = FindCharacterDepth(element.AttrStr("IDStr"));
                if (depth <= 0) break;  // a name that was never placed removes nothing
            } else {
                depth = static_cast<int32_t>(element.AttrInt("Depth"));
            }
            RemoveObject(static_cast<uint16_t>(depth));
            break;
        }
        case kElShape: AddShape()->LoadFromXml(element, Settings); break;
        case kElSprite: AddSprite()->LoadFromXml(element, Settings); break;
        case kElFont: AddFont()->LoadFromXml(element, Settings); break;
        case kElText: AddText()->LoadFromXml(element, Settings); break;
        case kElImage: AddImage()->LoadFromXml(element, Settings); break;
        case kElActions: LoadActionsFromXml(GetFrameActions(), element); break;
        case kElSound:
            if (element.AttrBoolDef("AsBackground", false)) GetStreamSound()->LoadFromFile(FullFileName(Settings, element, "File"));
            else AddSound("")->LoadFromXml(element, Settings);
            break;
        case kElBackgroundSound: GetStreamSound()->LoadFromFile(FullFileName(Settings, element, "File")); break;
        case kElStartSound: LoadStartSoundFromXml(element, nullptr); break;
        case kElMetafile: {
            TEnhMetafile metafile;
            metafile.LoadFromFile(FullFileName(Settings, element, "File"));
            TFlashCanvas& canvas = GetCanvas();
            canvas.DrawMetafile(ReadRectAttrs(Settings, element), metafile, true);
            canvas.PlaceDrawing(static_cast<uint16_t>(element.AttrInt("Depth")), true, nullptr);
            break;
        }
        case kElExternalSWF: LoadExternalMovieFromXml(element); break;
        case kElButton:
            AddButton(element.AttrBoolDef("TrackAsMenu", false), element.AttrBoolDef("Advance", true))
                ->LoadFromXml(element, Settings);
            break;
        case kElVideo: AddVideo(FullFileName(Settings, element, "File"))->LoadFromXml(element, Settings); break;
        case kElPlaceVideo: PlaceVideo(nullptr, 0)->LoadFromXml(element, Settings); break;
        case kElMorphShape: AddMorphShape()->LoadFromXml(element, Settings); break;
        default:
            break;  // InitActions belong to sprites
    }
}

void TFlashMovie::LoadExternalMovieFromXml(const TXmlNode& element) {
    static const char* types[] = {"ROOT", "RESOURCE", "NOFRAMEROOT", "SPRITE"};
    const std::string type = element.AttrStr("Type");
    int mode = -1;
    for (int i = 0; i < 4; ++i)
        if (AnsiSameText(type, types[i])) mode = i;
    // Any other type would embed the tags as a root timeline without counting
    // its frames: refused instead.
    if (mode < 0)
        throw EConvertError(FormatStr("ExternalSWF Type=\"%s\" is none of Root, Resource, NoFrameRoot and Sprite", type.c_str()));
    const bool renumber = element.AttrBoolDef("Renum", true);
    TFlashExternalMovie* external =
        AddExternalMovieFromFile(FullFileName(Settings, element, "File"), static_cast<uint8_t>(mode), renumber);
    if (mode == kExternalSprite) {
        external->TFlashIDObject::LoadFromXml(element, Settings);
        if (TFlashSprite* sprite = external->Sprite()) sprite->SetCharacterId(external->GetCharacterId());
    }
    if (renumber && element.HasAttribute("Start"))
        external->RenumberIds(static_cast<uint16_t>(std::clamp<int64_t>(element.AttrInt("Start"), 1, 0xFFFF)));
}

void TFlashMovie::LoadPlacementFromXml(const TXmlNode& element) {
    TXmlNode events = element.ChildNode("EventActions");
    int64_t id = 0;
    if (element.HasAttribute("IDStr")) id = FindCharacterId(element.AttrStr("IDStr"));
    else id = element.AttrIntDef("ID", 0);
    if (!events || id <= 0 || sprites_.FindById(static_cast<uint16_t>(id))) {
        PlaceDepth(0)->LoadFromXml(element, Settings);
        return;
    }
    // Only sprites take clip actions: the character goes into a new sprite
    // that is placed in its stead, with the name and the actions.
    TFlashSprite* sprite = AddSprite();
    TFlashPlaceObject* inner = sprite->PlaceDepth(0);
    struct TFlagsGuard {
        uint32_t& flags;
        ~TFlagsGuard() { flags = 0; }
    } guard{Settings.LoadFlags};
    Settings.LoadFlags = 0x1;
    inner->LoadFromXml(element, Settings);
    TFlashPlaceObject* outer = PlaceObject(sprite, inner->GetDepth());
    TSWFPlaceObject3& in = inner->Tag();
    if (in.HasName) outer->SetName(in.Name);
    if (in.HasClassName) outer->Tag().SetClassName(in.ClassName);
    in.HasName = false;
    in.Name.clear();
    in.HasClassName = false;
    in.ClassName.clear();
    Settings.LoadFlags = 0x2;
    outer->LoadFromXml(element, Settings);
    // The name stays the character's (placing it again places the shape, not
    // the wrapper with this placement's matrix), now at the outer depth.
    if (element.HasAttribute("IDStr"))
        SetCharacterPlacement(element.AttrStr("IDStr"), outer->GetDepth(), static_cast<uint16_t>(id));
}

void TFlashMovie::LoadStartSoundFromXml(const TXmlNode& element, TFlashSprite* sprite) {
    int64_t id = element.HasAttribute("IDStr") ? FindCharacterId(element.AttrStr("IDStr")) : element.AttrInt("ID");
    if (id < 0) throw EConvertError(FormatStr("StartSound names the unknown character \"%s\"", element.AttrStr("IDStr").c_str()));
    TSWFStartSound* tag = sprite ? sprite->StartSound(static_cast<uint16_t>(id)) : StartSound(static_cast<uint16_t>(id));
    tag->LoadFromXml(element, Settings);
    tag->SoundId = static_cast<uint16_t>(id);
}

void TFlashMovie::LoadActionsFromXml(TBasedSWFObject& target, const TXmlNode& element) {
    int kind = ActionKind(element);
    if (kind < 0) return;
    TSWFActionList* list = nullptr;
    TSWFPlaceObject2* placement = nullptr;
    // A button's condition actions: XML records (20) or handlers compiled
    // from source (21).
    TSWFDefineButton2* button2 = nullptr;
    TFlashButton* flashButton = nullptr;
    if (auto* builder = dynamic_cast<TFlashActionScript*>(&target)) {
        list = &builder->ActionList();
    } else if ((flashButton = dynamic_cast<TFlashButton*>(&target))) {
        if (!flashButton->UseButton2()) {
            list = &flashButton->GetCondActionsBuilder(3).ActionList();
        } else {
            button2 = &static_cast<TSWFDefineButton2&>(flashButton->GetButton());
            if (kind > 1) return;
            kind += 20;
        }
    } else if (auto* plain = dynamic_cast<TSWFDefineButton*>(&target)) {
        list = &plain->Actions;
    } else if ((button2 = dynamic_cast<TSWFDefineButton2*>(&target))) {
        if (AnsiSameText(element.NodeName(), "Actions") && button2->CondActionCount() > 0) {
            list = &button2->GetCondAction(button2->CondActionCount() - 1);
        } else if (kind <= 1) {
            kind += 20;
        } else {
            return;
        }
    } else if (auto* action = dynamic_cast<TSWFDoAction*>(&target)) {
        list = &action->Actions();
    } else if ((placement = dynamic_cast<TSWFPlaceObject2*>(&target))) {
        if (AnsiSameText(element.NodeName(), "Actions") && placement->HasClipActionsObject() &&
            placement->GetClipActions().GetCount() > 0) {
            TSWFClipActions& actions = placement->GetClipActions();
            list = &actions.GetActionRecord(actions.GetCount() - 1);
        } else {
            kind += 10;
        }
    } else {
        return;
    }
    const bool fromFile = element.HasAttribute("File");
    const std::string file = fromFile ? FullFileName(Settings, element, "File") : std::string();
    TXmlDocument document;
    TXmlNode source = element;
    if (fromFile && (kind == 0 || kind == 10 || kind == 20)) {
        document.LoadFromFile(file);
        source = document.DocumentElement();
    }
    switch (kind) {
        case 0: LoadActionListFromXml(source, *list, Settings); break;
        case 1: {
            TFlashActionScript builder(this, list);
            if (fromFile) builder.CompileFromFile(file);
            else builder.CompileFromString(element.Text());
            break;
        }
        case 2: {
            auto code = std::make_unique<TSWFActionByteCode>();
            code->Data = ReadFileBytes(file);
            list->Add(std::move(code));
            break;
        }
        case 10: {
            // The records load through this handler again, one "Actions" each.
            LoadClipActionsFromXml(*placement, source, Settings);
            break;
        }
        case 11: {
            TFlashPlaceObject scratch(this, nullptr, 0);
            bool compiled = fromFile ? scratch.CompileClipActionsFromFile(file)
                                     : scratch.CompileClipActionsFromString(element.Text());
            if (compiled && scratch.Tag().HasClipActionsObject() && scratch.Tag().GetClipActions().GetCount() > 0 &&
                scratch.Tag().GetClipActions().GetActionRecord(0).Count() > 0) {
                placement->GetClipActions().CopyFrom(scratch.Tag().GetClipActions());
                placement->HasClipActions = true;
            }
            break;
        }
        case 20: {
            // The records load through this handler again, one "Actions" each.
            button2->LoadCondActionsFromXml(source, Settings);
            break;
        }
        case 21: {
            // Compiled through a button of our own whose records then move
            // into the target's, those made before a failure too.
            TFlashButton scratch(this, false, true);
            if (fromFile) scratch.CompileActionsFromFile(file);
            else scratch.CompileActionsFromText(element.Text());
            for (auto& record : static_cast<TSWFDefineButton2&>(scratch.GetButton()).CondActions)
                button2->CondActions.push_back(std::move(record));
            break;
        }
        default:
            break;
    }
}

// ---------------------------------------------------------------- objects

void TFlashImage::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TFlashIDObject::LoadFromXml(node, settings);
    LoadFromFile(settings.GetFullFileName(kDataKindImage, node.AttrStr("File")));
    if (node.HasAttribute("AlphaColor")) SetAlphaColor(ReadRGBAAttr(node, "AlphaColor"));
    else if (node.HasAttribute("AlphaFile")) LoadAlphaFromFile(settings.GetFullFileName(kDataKindImage, node.AttrStr("AlphaFile")));
    else if (node.HasAttribute("AlphaIndex")) SetAlphaIndex(static_cast<uint8_t>(node.AttrInt("AlphaIndex")), 0);
    if (node.HasAttribute("Depth") && Owner) {
        TFlashPlaceObject* placement =
            Owner->PlaceObject(Owner->AddImageShape(this), static_cast<uint16_t>(node.AttrInt("Depth")));
        if (node.HasAttribute("XMin")) placement->SetTranslate(static_cast<int32_t>(node.AttrInt("XMin")),
                                                               static_cast<int32_t>(node.AttrIntDef("YMin", 0)));
    }
}

void TFlashSound::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TFlashIDObject::LoadFromXml(node, settings);
    SetADPCMBits(static_cast<int>(node.AttrIntDef("WaveCompressBit", 4)));
    LoadFromFile(settings.GetFullFileName(kDataKindSound, node.AttrStr("File")));
    if (node.AttrBoolDef("Start", false))
        if (TSWFStartSound* start = StartSound()) start->LoadFromXml(node, settings);
}

void TFlashSprite::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TFlashIDObject::LoadFromXml(node, settings);
    if (!Owner) return;
    TFlashMovie& movie = *Owner;
    if (node.HasAttribute("Depth")) movie.PlaceObject(this, static_cast<uint16_t>(node.AttrInt("Depth")));
    // Names placed here have their depths on this sprite's timeline.
    struct TTimelineGuard {
        TFlashMovie& movie;
        const void* previous;
        ~TTimelineGuard() { movie.SetLoadingTimeline(previous); }
    } guard{movie, movie.SetLoadingTimeline(this)};
    for (const TXmlNode& child : node.ChildElements()) {
        switch (GetMovieElementCode(child.NodeName())) {
            case kElFrame: {
                uint16_t count = FrameRepeat(child, movie.GetFrameRate(), GetFrameCount());
                if (child.HasAttribute("Label")) FrameLabel = child.AttrStr("Label");
                if (count > 0) ShowFrame(count);
                break;
            }
            case kElPlace: PlaceDepth(0)->LoadFromXml(child, settings); break;
            case kElRemove: {
                int32_t depth = child.HasAttribute("IDStr") ? movie.FindCharacterDepth(child.AttrStr("IDStr"))
                                                            : static_cast<int32_t>(child.AttrIntDef("Depth", 0));
                if (depth > 0) RemoveObject(static_cast<uint16_t>(depth));
                break;
            }
            case kElActions: movie.LoadActionsFromXml(GetFrameActions(), child); break;
            case kElInitActions: movie.LoadActionsFromXml(GetInitActions(), child); break;
            case kElBackgroundSound:
                GetStreamSound()->LoadFromFile(settings.GetFullFileName(kDataKindSound, child.AttrStr("File")));
                break;
            case kElStartSound: movie.LoadStartSoundFromXml(child, this); break;
            case kElPlaceVideo: PlaceVideo(nullptr, 0)->LoadFromXml(child, settings); break;
            default: break;
        }
    }
}

void TFlashPlaceObject::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TFlashMovie* movie = Owner;
    // Placement coordinates of a movie in pixels are pixels: the placement
    // reads with settings of its own, the caller's stay as they are.
    TXMLReadWriteSettings own = settings;
    if (movie && movie->UsePixels) own.SetCoordDivisor(20);
    if (movie)
        tag_->OnLoadActions = [movie](TSWFPlaceObject2& target, const TXmlNode& element) {
            movie->LoadActionsFromXml(target, element);
        };
    try {
        tag_->LoadFromXml(node, own);
    } catch (...) {
        tag_->OnLoadActions = nullptr;
        throw;
    }
    tag_->OnLoadActions = nullptr;
    if (!(settings.LoadFlags & 0x2) && movie && node.HasAttribute("IDStr")) {
        const std::string name = node.AttrStr("IDStr");
        int32_t id = movie->FindCharacterId(name);
        if (id >= 0) {
            SetCharacterId(static_cast<uint16_t>(id));
            movie->SetCharacterPlacement(name, GetDepth(), static_cast<uint16_t>(id));
        }
    }
}
