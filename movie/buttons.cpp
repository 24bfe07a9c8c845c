#include "movie/buttons.h"

#include <algorithm>

#include "movie/flash_movie.h"
#include "platform/codepage.h"
#include "swf/xml_form.h"

TFlashButton::TFlashButton(TFlashMovie* movie, bool trackAsMenu, bool useButton2)
    : TFlashVisualObject(movie), useButton2_(useButton2) {
    if (useButton2) {
        auto tag = std::make_unique<TSWFDefineButton2>();
        tag->TrackAsMenu = trackAsMenu;
        tag_ = std::move(tag);
    } else {
        tag_ = std::make_unique<TSWFDefineButton>();
    }
}

TFlashButton::~TFlashButton() = default;

void TFlashButton::SetCharacterId(uint16_t id) {
    TFlashVisualObject::SetCharacterId(id);
    tag_->ButtonId = id;
}

TSWFButtonRecord& TFlashButton::AddRecord(TFlashVisualObject* obj, uint8_t states, uint16_t depth) {
    if (!obj) throw EConvertError("A button record needs a character to show");
    TSWFButtonRecord& record = tag_->AddButtonRecord(obj->GetCharacterId(), states, depth);
    if (Owner) Owner->MoveDefinitionBefore(obj, this);
    return record;
}

TSWFDefineButton2& TFlashButton::Button2(const char* what) {
    if (!useButton2_)
        throw EConvertError(FormatStr("%s belong to DefineButton2 buttons; button %u is a DefineButton", what,
                                      unsigned(CharacterId)));
    return static_cast<TSWFDefineButton2&>(*tag_);
}

TSWFButtonCondAction& TFlashButton::AddCondActions(uint16_t conditions) {
    return Button2("Condition actions").AddCondAction(static_cast<uint16_t>(conditions & 0x1FF));
}

TSWFButtonCondAction* TFlashButton::FindCondActions(uint8_t condition, bool create) {
    TSWFDefineButton2& button = Button2("Condition actions");
    if (condition > 8) return nullptr;
    const uint16_t flag = static_cast<uint16_t>(1u << condition);
    for (const auto& record : button.CondActions)
        if (record->Conditions & flag) return record.get();
    return create ? &AddCondActions(flag) : nullptr;
}

TFlashActionScript& TFlashButton::GetCondActionsBuilder(uint8_t condition) {
    TSWFActionList* list = nullptr;
    if (useButton2_) {
        list = FindCondActions(condition, true);
        if (!list) throw EConvertError(FormatStr("%u is not a button condition", unsigned(condition)));
    } else {
        list = &static_cast<TSWFDefineButton&>(*tag_).Actions;
    }
    if (!builder_) builder_ = std::make_unique<TFlashActionScript>(Owner, list);
    else builder_->UseList(*list);
    return *builder_;
}

// ---------------------------------------------------------------- sounds

TSWFStartSound& TFlashButton::GetSndRollOver() { return sounds_.GetIdleToOverUp(); }
TSWFStartSound& TFlashButton::GetSndRollOut() { return sounds_.GetOverUpToIdle(); }
TSWFStartSound& TFlashButton::GetSndPress() { return sounds_.GetOverUpToOverDown(); }
TSWFStartSound& TFlashButton::GetSndRelease() { return sounds_.GetOverDownToOverUp(); }

bool TFlashButton::HasSounds() const {
    for (int i = 0; i < 4; ++i)
        if (sounds_.HasSound(i)) return true;
    return false;
}

// ---------------------------------------------------------------- compiling

bool TFlashButton::CompileActions(TStream& source) {
    try {
        source.SetPosition(0);
        if (!Owner) throw EActionCompileError("Button actions cannot be compiled: the button belongs to no movie.");
        Owner->GetCompileContext().CompileButtonActions(source, *this);
        return true;
    } catch (const Exception& failure) {
        WriteMovieMessage(Owner, failure.what());
        return false;
    }
}

bool TFlashButton::CompileActionsFromText(const std::string& text) {
    TMemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    return CompileActions(stream);
}

bool TFlashButton::CompileActionsFromFile(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::OpenRead);
    return CompileActions(file);
}

// ---------------------------------------------------------------- object

void TFlashButton::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = CopySourceAs<TFlashButton>(source, "a button");
    TFlashVisualObject::CopyFieldsFrom(source);
    if (other.useButton2_ != useButton2_) tag_ = other.tag_->Create();
    tag_->CopyFieldsFrom(*other.tag_);
    tag_->ButtonId = CharacterId;
    useButton2_ = other.useButton2_;
    sounds_.CopyFieldsFrom(other.sounds_);
    builder_.reset();
}

void TFlashButton::WriteTag(TBitsEngine& be) {
    tag_->ButtonId = CharacterId;
    tag_->WriteTag(be);
    if (!HasSounds()) return;
    sounds_.ButtonId = CharacterId;
    sounds_.WriteTag(be);
}

void TFlashButton::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TFlashVisualObject::LoadFromXml(node, settings);
    TFlashMovie* movie = Owner;
    // In the order of the attributes' names; each one named makes all four
    // transitions present, so the sound tag is written.
    static const char* const names[] = {"SndPress", "SndRelease", "SndRollOut", "SndRollOver"};
    TSWFStartSound* slots[] = {&GetSndPress(), &GetSndRelease(), &GetSndRollOut(), &GetSndRollOver()};
    for (int i = 0; i < 4; ++i) {
        const std::string name = names[i];
        int64_t id = 0;
        if (node.HasAttribute(name)) {
            id = node.AttrInt(name);
        } else if (node.HasAttribute(name + "Str")) {
            const std::string text = node.AttrStr(name + "Str");
            id = movie ? movie->FindCharacterId(text) : -1;
            if (id < 0) throw EConvertError(FormatStr("%sStr names the unknown sound \"%s\"", names[i], text.c_str()));
        }
        if (id < 0 || id > 0xFFFF) throw EConvertError(FormatStr("%s=%lld is no sound identifier", names[i], static_cast<long long>(id)));
        slots[i]->SoundId = static_cast<uint16_t>(id);
    }
    if (movie) {
        tag_->OnLoadActions = [movie](TSWFBasedButton& target, const TXmlNode& element) {
            movie->LoadActionsFromXml(target, element);
        };
    }
    struct TClearHandler {
        TSWFBasedButton& tag;
        ~TClearHandler() { tag.OnLoadActions = nullptr; }
    } clear{*tag_};
    tag_->LoadFromXml(node, settings);
    tag_->ButtonId = CharacterId;
    size_t record = 0;
    for (const TXmlNode& child : node.ChildElements()) {
        const std::string name = child.NodeName();
        if (name == "ButtonRecord") {
            if (child.HasAttribute("IDStr") && record < tag_->ButtonRecords.size()) {
                const std::string text = child.AttrStr("IDStr");
                const int32_t id = movie ? movie->FindCharacterId(text) : -1;
                if (id < 0) throw EConvertError(FormatStr("A button record names the unknown character \"%s\"", text.c_str()));
                tag_->GetButtonRecord(record).CharacterId = static_cast<uint16_t>(id);
            }
            ++record;
        } else if (AnsiSameText(name, "Actions") && movie) {
            movie->LoadActionsFromXml(*this, child);
        }
    }
    if (node.HasAttribute("Depth") && movie)
        movie->PlaceObject(this, static_cast<uint16_t>(std::clamp<int64_t>(node.AttrInt("Depth"), 0, 0xFFFF)));
}
