#include "swf/tag_table.h"

#include <array>

#include "swf/bitmap_tags.h"
#include "swf/button_tags.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/do_abc.h"
#include "swf/do_action.h"
#include "swf/font_tags.h"
#include "swf/free_character_tag.h"
#include "swf/morph_tags.h"
#include "swf/shape_tags.h"
#include "swf/sound_tags.h"
#include "swf/sprite_tags.h"
#include "swf/text_tags.h"
#include "swf/video_tags.h"

namespace {

using namespace TagCodes;

constexpr uint8_t kChar = kDefinesCharacter;
constexpr uint8_t kLong = kAlwaysLongHeader;
constexpr uint8_t kActions = kNeedsParseActions;
constexpr uint8_t kVersion = kNeedsVersion;

// One row per code, in code order. A code whose class is not built yet has
// a null factory and is kept as a raw tag; giving it a class is a matter of
// naming the factory here.
const TTagDescriptor kTags[] = {
    {End, "End", MakeTag<TSWFEnd>, kTagPlain},
    {ShowFrame, "ShowFrame", MakeTag<TSWFShowFrame>, kTagPlain},
    {DefineShape, "DefineShape", MakeTag<TSWFDefineShape>, kChar},
    {FreeCharacter, "FreeCharacter", MakeTag<TSWFFreeCharacter>, kTagPlain},
    {PlaceObject, "PlaceObject", MakeTag<TSWFPlaceObject>, kTagPlain},
    {RemoveObject, "RemoveObject", MakeTag<TSWFRemoveObject>, kTagPlain},
    {DefineBits, "DefineBits", MakeTag<TSWFDefineBits>, kChar},
    {DefineButton, "DefineButton", MakeTag<TSWFDefineButton>, kChar | kActions},
    {JPEGTables, "JPEGTables", MakeTag<TSWFJPEGTables>, kTagPlain},
    {SetBackgroundColor, "SetBackgroundColor", MakeTag<TSWFSetBackgroundColor>, kTagPlain},
    {DefineFont, "DefineFont", MakeTag<TSWFDefineFont>, kChar},
    {DefineText, "DefineText", MakeTag<TSWFDefineText>, kChar},
    {DoAction, "DoAction", MakeTag<TSWFDoAction>, kActions},
    {DefineFontInfo, "DefineFontInfo", MakeTag<TSWFDefineFontInfo>, kVersion},
    {DefineSound, "DefineSound", MakeTag<TSWFDefineSound>, kChar},
    {StartSound, "StartSound", MakeTag<TSWFStartSound>, kTagPlain},
    {DefineButtonSound, "DefineButtonSound", MakeTag<TSWFDefineButtonSound>, kTagPlain},
    {SoundStreamHead, "SoundStreamHead", MakeTag<TSWFSoundStreamHead>, kTagPlain},
    {SoundStreamBlock, "SoundStreamBlock", MakeTag<TSWFSoundStreamBlock>, kLong | kNeedsStreamSoundFormat},
    {DefineBitsLossless, "DefineBitsLossless", MakeTag<TSWFDefineBitsLossless>, kChar | kLong},
    {DefineBitsJPEG2, "DefineBitsJPEG2", MakeTag<TSWFDefineBitsJPEG2>, kChar},
    {DefineShape2, "DefineShape2", MakeTag<TSWFDefineShape2>, kChar},
    {DefineButtonCxform, "DefineButtonCxform", MakeTag<TSWFDefineButtonCxform>, kTagPlain},
    {Protect, "Protect", MakeTag<TSWFProtect>, kTagPlain},
    {PlaceObject2, "PlaceObject2", MakeTag<TSWFPlaceObject2>, kActions | kVersion},
    {RemoveObject2, "RemoveObject2", MakeTag<TSWFRemoveObject2>, kTagPlain},
    {DefineShape3, "DefineShape3", MakeTag<TSWFDefineShape3>, kChar},
    {DefineText2, "DefineText2", MakeTag<TSWFDefineText2>, kChar},
    {DefineButton2, "DefineButton2", MakeTag<TSWFDefineButton2>, kChar | kActions},
    {DefineBitsJPEG3, "DefineBitsJPEG3", MakeTag<TSWFDefineBitsJPEG3>, kChar},
    {DefineBitsLossless2, "DefineBitsLossless2", MakeTag<TSWFDefineBitsLossless2>, kChar | kLong},
    {DefineEditText, "DefineEditText", MakeTag<TSWFDefineEditText>, kChar},
    {DefineSprite, "DefineSprite", MakeTag<TSWFDefineSprite>, kChar | kActions | kVersion},
    {NameCharacter, "NameCharacter", nullptr, kTagPlain},
    {ProductInfo, "ProductInfo", MakeTag<TSWFProductInfo>, kTagPlain},
    {FrameLabel, "FrameLabel", MakeTag<TSWFFrameLabel>, kTagPlain},
    {SoundStreamHead2, "SoundStreamHead2", MakeTag<TSWFSoundStreamHead2>, kTagPlain},
    {DefineMorphShape, "DefineMorphShape", MakeTag<TSWFDefineMorphShape>, kChar},
    {DefineFont2, "DefineFont2", MakeTag<TSWFDefineFont2>, kChar | kVersion},
    {ExportAssets, "ExportAssets", MakeTag<TSWFExportAssets>, kTagPlain},
    {ImportAssets, "ImportAssets", MakeTag<TSWFImportAssets>, kTagPlain},
    {EnableDebugger, "EnableDebugger", MakeTag<TSWFEnableDebugger>, kTagPlain},
    {DoInitAction, "DoInitAction", MakeTag<TSWFDoInitAction>, kActions},
    {DefineVideoStream, "DefineVideoStream", MakeTag<TSWFDefineVideoStream>, kChar | kLong},
    {VideoFrame, "VideoFrame", MakeTag<TSWFVideoFrame>, kTagPlain},
    {DefineFontInfo2, "DefineFontInfo2", MakeTag<TSWFDefineFontInfo2>, kChar},
    {EnableDebugger2, "EnableDebugger2", MakeTag<TSWFEnableDebugger2>, kTagPlain},
    {ScriptLimits, "ScriptLimits", MakeTag<TSWFScriptLimits>, kTagPlain},
    {SetTabIndex, "SetTabIndex", MakeTag<TSWFSetTabIndex>, kTagPlain},
    {FileAttributes, "FileAttributes", MakeTag<TSWFFileAttributes>, kTagPlain},
    {PlaceObject3, "PlaceObject3", MakeTag<TSWFPlaceObject3>, kActions | kVersion},
    {ImportAssets2, "ImportAssets2", MakeTag<TSWFImportAssets2>, kTagPlain},
    {DefineFontAlignZones, "DefineFontAlignZones", MakeTag<TSWFDefineFontAlignZones>, kTagPlain},
    {CSMTextSettings, "CSMTextSettings", MakeTag<TSWFCSMTextSettings>, kTagPlain},
    {DefineFont3, "DefineFont3", MakeTag<TSWFDefineFont3>, kChar | kVersion},
    {SymbolClass, "SymbolClass", MakeTag<TSWFSymbolClass>, kTagPlain},
    {Metadata, "Metadata", MakeTag<TSWFMetadata>, kTagPlain},
    {DefineScalingGrid, "DefineScalingGrid", MakeTag<TSWFDefineScalingGrid>, kTagPlain},
    {DoABC, "DoABC", MakeTag<TSWFDoABC>, kActions},
    {DefineShape4, "DefineShape4", MakeTag<TSWFDefineShape4>, kChar},
    {DefineMorphShape2, "DefineMorphShape2", MakeTag<TSWFDefineMorphShape2>, kChar},
    {DefineSceneAndFrameLabelData, "DefineSceneAndFrameLabelData", MakeTag<TSWFDefineSceneAndFrameLabelData>,
     kTagPlain},
    {DefineBinaryData, "DefineBinaryData", MakeTag<TSWFDefineBinaryData>, kTagPlain},
    {DefineFontName, "DefineFontName", MakeTag<TSWFDefineFontName>, kTagPlain},
    {StartSound2, "StartSound2", MakeTag<TSWFStartSound2>, kTagPlain},
    {ErrorTag, "Error Tag", nullptr, kTagPlain},
};

// Record headers hold 10-bit codes.
constexpr size_t kCodeCount = 1024;

const std::array<const TTagDescriptor*, kCodeCount>& IndexByCode() {
    static const auto index = [] {
        std::array<const TTagDescriptor*, kCodeCount> byCode{};
        for (const TTagDescriptor& row : kTags) byCode[row.Code] = &row;
        return byCode;
    }();
    return index;
}

}  // namespace

std::span<const TTagDescriptor> TagDescriptors() { return kTags; }

const TTagDescriptor* FindTagDescriptor(uint16_t code) {
    return code < kCodeCount ? IndexByCode()[code] : nullptr;
}

bool TagHasTrait(uint16_t code, TTagTraits trait) {
    const TTagDescriptor* row = FindTagDescriptor(code);
    return row && row->Has(trait);
}
