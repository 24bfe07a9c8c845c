#include "swf/character_ids.h"

#include <algorithm>
#include <bitset>

#include "platform/errors.h"

#include "swf/bitmap_tags.h"
#include "swf/button_tags.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/do_action.h"
#include "swf/font_tags.h"
#include "swf/morph_tags.h"
#include "swf/reader.h"
#include "swf/shape_tags.h"
#include "swf/sound_tags.h"
#include "swf/sprite_tags.h"
#include "swf/text_tags.h"
#include "swf/video_tags.h"

namespace {

bool IsBitmapFill(uint8_t type) { return type >= kFillTileBitmap && type <= kFillNonSmoothClipBitmap; }

// Producers fill with bitmap 65535 where a shape has no bitmap left: that is
// no reference.
constexpr uint16_t kNoBitmap = 0xFFFF;

void VisitFill(TSWFFillStyle* fill, const TCharacterIdVisitor& visit) {
    if (fill && IsBitmapFill(fill->FillStyleType))
        if (auto* image = dynamic_cast<TSWFImageFill*>(fill); image && image->BitmapId != kNoBitmap)
            visit(image->BitmapId);
}

void VisitStyles(TSWFFillStyleList& fills, TSWFLineStyleList& lines, const TCharacterIdVisitor& visit) {
    for (auto& fill : fills) VisitFill(fill.get(), visit);
    // A LINESTYLE2 may be drawn with a fill of its own, bitmaps included.
    for (auto& line : lines)
        if (auto* second = dynamic_cast<TSWFLineStyle2*>(line.get()); second && second->HasFillFlag)
            VisitFill(second->FillStyle.get(), visit);
}

void VisitMorphFill(TSWFMorphFillStyle* fill, const TCharacterIdVisitor& visit) {
    if (fill && IsBitmapFill(fill->FillStyleType))
        if (auto* image = dynamic_cast<TSWFMorphImageFill*>(fill); image && image->BitmapId != kNoBitmap)
            visit(image->BitmapId);
}

}  // namespace

void ForEachDefinedId(TSWFObject& tag, const TCharacterIdVisitor& visit) {
    if (auto* shape = dynamic_cast<TSWFDefineShape*>(&tag)) return visit(shape->ShapeId);
    if (auto* image = dynamic_cast<TSWFImageTag*>(&tag)) return visit(image->CharId);
    if (auto* button = dynamic_cast<TSWFBasedButton*>(&tag)) return visit(button->ButtonId);
    if (auto* font = dynamic_cast<TSWFDefineFont*>(&tag)) return visit(font->FontId);
    if (auto* text = dynamic_cast<TSWFDefineText*>(&tag)) return visit(text->CharacterIdValue);
    if (auto* sound = dynamic_cast<TSWFDefineSound*>(&tag)) return visit(sound->SoundId);
    if (auto* edit = dynamic_cast<TSWFDefineEditText*>(&tag)) return visit(edit->CharacterIdValue);
    if (auto* sprite = dynamic_cast<TSWFDefineSprite*>(&tag)) return visit(sprite->SpriteID);
    if (auto* morph = dynamic_cast<TSWFDefineMorphShape*>(&tag)) return visit(morph->CharacterID);
    if (auto* video = dynamic_cast<TSWFDefineVideoStream*>(&tag)) return visit(video->CharacterID);
    // Binary data is a character too: symbol classes name it by identifier.
    if (auto* data = dynamic_cast<TSWFDefineBinaryData*>(&tag)) return visit(data->CharId);
    if (tag.TagCode == TagCodes::ImportAssets || tag.TagCode == TagCodes::ImportAssets2)
        if (auto* imports = dynamic_cast<TSWFImportAssets*>(&tag))
            for (TSWFAssetEntry& asset : imports->Assets) visit(asset.Id);
}

void ForEachReference(TSWFObject& tag, const TCharacterIdVisitor& visit) {
    switch (tag.TagCode) {
        case TagCodes::DefineShape:
        case TagCodes::DefineShape2:
        case TagCodes::DefineShape3:
        case TagCodes::DefineShape4:
            if (auto* shape = dynamic_cast<TSWFDefineShape*>(&tag)) {
                VisitStyles(shape->FillStyles, shape->LineStyles, visit);
                for (auto& record : shape->Edges)
                    if (record->RecordKind == kShapeRecordStyleChange) {
                        auto& change = static_cast<TSWFStyleChangeRecord&>(*record);
                        if (change.StateNewStyles) VisitStyles(change.NewFillStyles, change.NewLineStyles, visit);
                    }
            }
            return;
        case TagCodes::PlaceObject:
            if (auto* place = dynamic_cast<TSWFPlaceObject*>(&tag)) visit(place->CharacterId);
            return;
        case TagCodes::PlaceObject2:
        case TagCodes::PlaceObject3:
            if (auto* place = dynamic_cast<TSWFPlaceObject2*>(&tag); place && place->HasCharacter)
                visit(place->CharacterId);
            return;
        case TagCodes::RemoveObject:
            if (auto* remove = dynamic_cast<TSWFRemoveObject*>(&tag)) visit(remove->CharacterId);
            return;
        case TagCodes::DefineButton:
        case TagCodes::DefineButton2:
            if (auto* button = dynamic_cast<TSWFBasedButton*>(&tag))
                for (auto& record : button->ButtonRecords) visit(record->CharacterId);
            return;
        case TagCodes::DefineText:
        case TagCodes::DefineText2:
            if (auto* text = dynamic_cast<TSWFDefineText*>(&tag))
                for (auto& record : text->TextRecords)
                    if (record->StyleFlagsHasFont) visit(record->FontId);
            return;
        case TagCodes::DefineFontInfo:
        case TagCodes::DefineFontInfo2:
            if (auto* info = dynamic_cast<TSWFDefineFontInfo*>(&tag)) visit(info->FontId);
            return;
        case TagCodes::StartSound:
            if (auto* start = dynamic_cast<TSWFStartSound*>(&tag)) visit(start->SoundId);
            return;
        case TagCodes::DefineButtonSound:
            if (auto* sounds = dynamic_cast<TSWFDefineButtonSound*>(&tag)) {
                visit(sounds->ButtonId);
                for (int i = 0; i < 4; ++i)
                    if (sounds->HasSound(i) && sounds->GetSound(i).SoundId != 0) visit(sounds->GetSound(i).SoundId);
            }
            return;
        case TagCodes::DefineButtonCxform:
            if (auto* cxform = dynamic_cast<TSWFDefineButtonCxform*>(&tag)) visit(cxform->ButtonId);
            return;
        case TagCodes::DefineEditText:
            if (auto* edit = dynamic_cast<TSWFDefineEditText*>(&tag); edit && edit->HasFont) visit(edit->FontId);
            return;
        case TagCodes::DefineSprite:
            if (auto* sprite = dynamic_cast<TSWFDefineSprite*>(&tag))
                for (auto& child : sprite->ControlTags) ForEachReference(*child, visit);
            return;
        case TagCodes::DefineMorphShape:
        case TagCodes::DefineMorphShape2:
            if (auto* morph = dynamic_cast<TSWFDefineMorphShape*>(&tag)) {
                for (auto& fill : morph->MorphFillStyles) VisitMorphFill(fill.get(), visit);
                for (auto& line : morph->MorphLineStyles)
                    if (auto* second = dynamic_cast<TSWFMorphLineStyle2*>(line.get()); second && second->HasFillFlag)
                        VisitMorphFill(second->FillStyle.get(), visit);
            }
            return;
        case TagCodes::ExportAssets:
        case TagCodes::SymbolClass:
            if (auto* assets = dynamic_cast<TSWFExportAssets*>(&tag))
                for (TSWFAssetEntry& asset : assets->Assets)
                    // Symbol class 0 is the main timeline, not a character.
                    if (tag.TagCode == TagCodes::ExportAssets || asset.Id != 0) visit(asset.Id);
            return;
        case TagCodes::DoInitAction:
            if (auto* init = dynamic_cast<TSWFDoInitAction*>(&tag)) visit(init->SpriteID);
            return;
        case TagCodes::VideoFrame:
            if (auto* frame = dynamic_cast<TSWFVideoFrame*>(&tag)) visit(frame->StreamID);
            return;
        case TagCodes::DefineFontAlignZones:
            if (auto* zones = dynamic_cast<TSWFDefineFontAlignZones*>(&tag)) visit(zones->FontId);
            return;
        case TagCodes::DefineFontName:
            if (auto* name = dynamic_cast<TSWFDefineFontName*>(&tag)) visit(name->FontId);
            return;
        case TagCodes::CSMTextSettings:
            if (auto* settings = dynamic_cast<TSWFCSMTextSettings*>(&tag)) visit(settings->TextId);
            return;
        case TagCodes::DefineScalingGrid:
            if (auto* grid = dynamic_cast<TSWFDefineScalingGrid*>(&tag)) visit(grid->CharacterId);
            return;
        default:
            return;
    }
}

std::vector<TUnresolvedReference> FindUnresolvedReferences(const std::vector<TSWFObject*>& tags,
                                                            std::vector<TUnresolvedReference>* duplicates) {
    std::vector<TUnresolvedReference> unresolved;
    auto defined = std::make_unique<std::bitset<65536>>();
    for (size_t i = 0; i < tags.size(); ++i) {
        TSWFObject& tag = *tags[i];
        ForEachReference(tag, [&](uint16_t& id) {
            if (!defined->test(id)) unresolved.push_back({i, tag.TagCode, id});
        });
        ForEachDefinedId(tag, [&](uint16_t& id) {
            if (defined->test(id) && duplicates) duplicates->push_back({i, tag.TagCode, id});
            defined->set(id);
        });
    }
    return unresolved;
}

// ---------------------------------------------------------------- the reader's edits

uint32_t TSWFStreamReader::RenumberCharacterIds(uint16_t firstId) {
    // Old identifier -> new one, for the first definition of each.
    std::vector<int32_t> newIds(65536, -1);
    uint32_t next = firstId;
    for (auto& info : Tags) {
        if (!info->Object) continue;
        bool renumber = true;
        if (OnBeforeRenumber) OnBeforeRenumber(*info->Object, renumber);
        if (!renumber) continue;
        ForEachDefinedId(*info->Object, [&](uint16_t& id) {
            // Wrapping round would hand out identifiers already given.
            if (next > 0xFFFF)
                throw Exception(FormatStr("Renumbering from %u needs identifiers beyond 65535", unsigned(firstId)));
            if (newIds[id] < 0) newIds[id] = static_cast<int32_t>(next);
            id = static_cast<uint16_t>(next++);
        });
    }
    for (auto& info : Tags) {
        if (!info->Object) continue;
        ForEachReference(*info->Object, [&](uint16_t& id) {
            if (newIds[id] >= 0) id = static_cast<uint16_t>(newIds[id]);
        });
    }
    return next;
}

void TSWFStreamReader::MoveResourcesToFrame(int32_t targetFrame, int32_t firstFrame, int32_t lastFrame) {
    int32_t a = targetFrame, b = firstFrame, c = lastFrame;
    if (b < a) a = b;
    if (c == -1) c = FrameCount;
    else if (c == 0 || c < b) c = b;
    auto isShowFrame = [this](int32_t index) {
        return index >= 0 && index < static_cast<int32_t>(Tags.size()) && Tags[index]->TagCode == TagCodes::ShowFrame;
    };
    auto frameIndex = [this](int32_t frame) { return GetFrameTagIndex(static_cast<uint16_t>(std::clamp(frame, 0, 0xFFFF))); };
    int32_t insertAt = frameIndex(a);
    if (isShowFrame(insertAt)) ++insertAt;
    int32_t first = b == a ? insertAt + 1 : frameIndex(b) + 1;
    int32_t last = frameIndex(c + 1);
    if (isShowFrame(last)) --last;
    if (first >= last) return;
    last = std::min(last, static_cast<int32_t>(Tags.size()) - 1);
    int32_t moved = 0;
    for (int32_t i = first; i <= last; ++i) {
        switch (Tags[i]->TagCode) {
            case TagCodes::DefineBits:
            case TagCodes::JPEGTables:
            case TagCodes::DefineFont:
            case TagCodes::DefineSound:
            case TagCodes::DefineBitsLossless:
            case TagCodes::DefineBitsJPEG2:
            case TagCodes::DefineBitsJPEG3:
            case TagCodes::DefineBitsLossless2:
            case TagCodes::DefineFont2:
            case TagCodes::DefineFont3: {
                std::unique_ptr<TSWFTagInfo> info = std::move(Tags[i]);
                Tags.erase(Tags.begin() + i);
                Tags.insert(Tags.begin() + insertAt + moved, std::move(info));
                ++moved;
                break;
            }
            default:
                break;
        }
    }
}
