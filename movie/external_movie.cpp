#include "movie/external_movie.h"

#include <random>

#include "movie/flash_movie.h"
#include "movie/sprites.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "swf/character_ids.h"
#include "swf/font_tags.h"
#include "swf/names.h"
#include "swf/text_tags.h"

namespace {

bool DroppedAlways(uint16_t code) {
    switch (code) {
        case TagCodes::End:
        case TagCodes::SetBackgroundColor:
        case TagCodes::Protect:
        case TagCodes::EnableDebugger:
        case TagCodes::EnableDebugger2:
        case TagCodes::FileAttributes:
        case TagCodes::Metadata: return true;
        default: return false;
    }
}

// The tags of a timeline: placements, removals, frame scripts, sounds started
// or streamed, frame labels.
bool IsTimelineTag(uint16_t code) {
    switch (code) {
        case TagCodes::PlaceObject:
        case TagCodes::RemoveObject:
        case TagCodes::DoAction:
        case TagCodes::StartSound:
        case TagCodes::SoundStreamHead:
        case TagCodes::SoundStreamBlock:
        case TagCodes::PlaceObject2:
        case TagCodes::RemoveObject2:
        case TagCodes::FrameLabel:
        case TagCodes::SoundStreamHead2:
        case TagCodes::PlaceObject3: return true;
        default: return false;
    }
}

bool IsDisplayListTag(uint16_t code) {
    switch (code) {
        case TagCodes::PlaceObject:
        case TagCodes::RemoveObject:
        case TagCodes::StartSound:
        case TagCodes::PlaceObject2:
        case TagCodes::RemoveObject2:
        case TagCodes::PlaceObject3: return true;
        default: return false;
    }
}

// Sets a string for the time of one write and puts the old value back after,
// so that writing the movie again does not stack prefixes.
class TTemporaryText {
public:
    TTemporaryText(std::string& text, std::string value) : text_(text), saved_(std::move(text)) {
        text_ = std::move(value);
    }
    ~TTemporaryText() { text_ = std::move(saved_); }
    TTemporaryText(const TTemporaryText&) = delete;
    TTemporaryText& operator=(const TTemporaryText&) = delete;

private:
    std::string& text_;
    std::string saved_;
};

}  // namespace

std::string PrefixHtmlFaces(const std::string& html, const std::string& prefix) {
    std::string text = html;
    int state = 0;
    size_t p = 0;
    // The last character is never examined: nothing can start there.
    while (p + 1 < text.size()) {
        if (state == 0 && p + 4 <= text.size() && AnsiSameText(text.substr(p, 4), "face")) {
            state = 1;
            p += 4;
            continue;
        }
        if (state == 1 && (text[p] == '"' || text[p] == '\'')) {
            state = text[p] == '"' ? 2 : 3;
            text.insert(p + 1, prefix);
            p += 1 + prefix.size();
            continue;
        }
        if ((state == 2 && text[p] == '"') || (state == 3 && text[p] == '\'')) state = 0;
        ++p;
    }
    return text;
}

TFlashExternalMovie::TFlashExternalMovie(TFlashMovie* movie, std::unique_ptr<TSWFStreamReader> reader)
    : TFlashIDObject(movie), reader_(std::move(reader)) {}

TFlashExternalMovie::TFlashExternalMovie(TFlashMovie* movie, const std::string& fileName)
    : TFlashExternalMovie(movie, std::make_unique<TSWFStreamReader>(fileName)) {}

std::unique_ptr<TFlashExternalMovie> TFlashExternalMovie::CreateFromStream(TFlashMovie* movie, TStream& stream) {
    return std::unique_ptr<TFlashExternalMovie>(
        new TFlashExternalMovie(movie, TSWFStreamReader::CreateFromStream(stream)));
}

TFlashExternalMovie::~TFlashExternalMovie() = default;

TFlashSprite& TFlashExternalMovie::CreateSprite() {
    sprite_ = std::make_unique<TFlashSprite>(Owner);
    sprite_->SetCharacterId(GetCharacterId());
    sprite_->SetFrameCount(reader_->FrameCount);
    if (Owner) Owner->GetSprites().Add(sprite_.get());
    return *sprite_;
}

uint16_t TFlashExternalMovie::CountDefinitions() const {
    uint32_t count = 0;
    for (const auto& info : reader_->Tags)
        if (info->Object) ForEachDefinedId(*info->Object, [&count](uint16_t&) { ++count; });
    if (count > 0xFFFF) throw Exception(FormatStr("The embedded movie defines %u characters, more than 65535", count));
    return static_cast<uint16_t>(count);
}

void TFlashExternalMovie::RenumberIds(uint16_t firstId) { reader_->RenumberCharacterIds(firstId); }

void TFlashExternalMovie::CopyFieldsFrom(const TBasedSWFObject&) {
    throw Exception("An embedded movie cannot be copied");
}

int TFlashExternalMovie::RequiredVersion() const {
    int version = 1;
    for (const auto& info : reader_->Tags)
        if (info->Object && !DroppedAlways(info->TagCode)) version = std::max(version, info->Object->RequiredVersion());
    return version;
}

void TFlashExternalMovie::WriteTag(TBitsEngine& be) {
    writtenFrames_ = 0;
    if (reader_->Tags.empty()) return;
    int32_t number = fixedPrefix_;
    if (number < 0) {
        static thread_local std::mt19937 random{std::random_device{}()};
        number = std::uniform_int_distribution<int32_t>(0, 65534)(random);
    }
    const std::string prefix = std::to_string(number);
    const bool asSprite = Mode == kExternalSprite;
    if (asSprite) {
        if (sprite_) {
            sprite_->GetControlTags().clear();
            sprite_->SetFrameCount(0);
        } else {
            CreateSprite().SetFrameCount(0);
        }
    }
    TMemoryStream& body = reader_->GetBodyStream();
    for (const auto& info : reader_->Tags) {
        const uint16_t code = info->TagCode;
        if (!info->Object) {
            // Kept as bytes by the reader: the whole record goes out as it is.
            be.Stream.WriteBuffer(body.Memory() + info->Offset, info->GetFullSize());
            continue;
        }
        if (DroppedAlways(code)) continue;
        if (code == TagCodes::ShowFrame && (Mode == kExternalResource || Mode == kExternalNoFrameRoot)) continue;
        if (Mode == kExternalResource && IsDisplayListTag(code)) continue;
        TSWFObject& tag = *info->Object;
        if (code == TagCodes::ShowFrame) {
            if (asSprite) {
                sprite_->ShowFrame(1);
            } else {
                tag.WriteTag(be);
                ++writtenFrames_;
            }
            continue;
        }
        if (IsTimelineTag(code) && asSprite) {
            sprite_->AddControlTag(CloneTag(tag));
            continue;
        }
        if (auto* info2 = dynamic_cast<TSWFDefineFontInfo*>(&tag); info2 && !info2->CodeTable.empty()) {
            TTemporaryText name(info2->FontName, prefix + info2->FontName);
            tag.WriteTag(be);
            continue;
        }
        if (auto* font = dynamic_cast<TSWFDefineFont2*>(&tag); font && !font->GlyphShapeTable.empty()) {
            TTemporaryText name(font->FontName, prefix + font->FontName);
            tag.WriteTag(be);
            continue;
        }
        if (auto* edit = dynamic_cast<TSWFDefineEditText*>(&tag);
            edit && edit->HasText && edit->HTML && !edit->InitialText.empty() && edit->WideInitialText.empty()) {
            TTemporaryText text(edit->InitialText, PrefixHtmlFaces(edit->InitialText, prefix));
            tag.WriteTag(be);
            continue;
        }
        tag.WriteTag(be);
    }
    if (asSprite) sprite_->WriteTag(be);
}
