#include "ascompiler/ident_tables.h"

#include <strings.h>

#include <cctype>

#include "ascompiler/compile_unit.h"

TIdentInfo::TIdentInfo(TStrId name, TStrId type, TBaseIdentTable* table, uint8_t kind)
    : Name(name), Type(type), ScopeKind(kind), Table(table) {}

TClassInfo::TClassInfo(TStrId name, TBaseIdentTable* table) : TIdentInfo(name, 0, table, table->Kind) {}
TClassInfo::~TClassInfo() = default;

TAliasInfo::TAliasInfo(TStrId name, TClassInfo* target, TBaseIdentTable* table)
    : TIdentInfo(name, 0, table, table->Kind), Class(target) {}

TIdentInfo* TBaseIdentTable::Append(std::unique_ptr<TIdentInfo> entry) {
    TIdentInfo* raw = entry.get();
    Index(raw, dynamic_cast<TClassInfo*>(raw) || dynamic_cast<TAliasInfo*>(raw));
    Entries.push_back(std::move(entry));
    return raw;
}

void TBaseIdentTable::Index(TIdentInfo* entry, bool isClass) {
    newest_[entry->Name] = entry;
    if (isClass) newestClass_[entry->Name] = entry;
}

TIdentInfo* TBaseIdentTable::FindOwn(TStrId name, bool classOnly) const {
    const auto& index = classOnly ? newestClass_ : newest_;
    auto found = index.find(name);
    return found == index.end() ? nullptr : found->second;
}

TIdentInfo* TBaseIdentTable::Add(TStrId name, TStrId type) {
    return Append(std::make_unique<TIdentInfo>(name, type, this, Kind));
}

TClassInfo* TBaseIdentTable::AddClass(TStrId name) {
    if (TClassInfo* found = FindClass(name)) return found;
    return static_cast<TClassInfo*>(Append(std::make_unique<TClassInfo>(name, this)));
}

TAliasInfo* TBaseIdentTable::AddAlias(TStrId name, TClassInfo* target) {
    return static_cast<TAliasInfo*>(Append(std::make_unique<TAliasInfo>(name, target, this)));
}

namespace {

TIdentInfo* ThroughAlias(TIdentInfo* entry) {
    if (auto* alias = dynamic_cast<TAliasInfo*>(entry)) return alias->Class;
    return entry;
}

}  // namespace

TIdentInfo* TBaseIdentTable::Find(TStrId name, uint8_t flags) const {
    if (TIdentInfo* own = FindOwn(name, false)) return ThroughAlias(own);
    TIdentInfo* found = nullptr;
    if ((flags & fsSuperclasses) && SuperScope) found = SuperScope->Find(name, fsSuperclasses);
    if (!found && (flags & fsEnclosing) && Parent) found = Parent->Find(name, flags);
    return found;
}

TClassInfo* TBaseIdentTable::FindClass(TStrId name) const {
    if (TIdentInfo* own = FindOwn(name, true)) return static_cast<TClassInfo*>(ThroughAlias(own));
    return Parent ? Parent->FindClass(name) : nullptr;
}

TIdentInfo* TIdentTable::UseImplicit(TImplicit which) {
    TIdentInfo** entry = which == imThis ? &ThisEntry : which == imSuper ? &SuperEntry : &ArgumentsEntry;
    if (!*entry) {
        TStrId name = which == imThis ? TStringTable::This
                      : which == imSuper ? TStringTable::Super
                                         : TStringTable::Arguments;
        *entry = Add(name, TStringTable::Empty);
        (*entry)->Flags |= ifDeclared;
    }
    UsedImplicit |= which;
    return *entry;
}

TIdentInfo* TIdentTable::ImplicitEntry(TImplicit which) const {
    return which == imThis ? ThisEntry : which == imSuper ? SuperEntry : ArgumentsEntry;
}

bool TClassTable::SameName(TStrId a, TStrId b) const {
    return a == b || strcasecmp(strings_.Text(a).c_str(), strings_.Text(b).c_str()) == 0;
}

void TClassTable::Index(TIdentInfo* entry, bool isClass) {
    std::string key = Key(entry->Name);
    newestByText_[key] = entry;
    if (isClass) newestClassByText_[key] = entry;
}

TIdentInfo* TClassTable::FindOwn(TStrId name, bool classOnly) const {
    const auto& index = classOnly ? newestClassByText_ : newestByText_;
    if (index.empty()) return nullptr;
    auto found = index.find(Key(name));
    return found == index.end() ? nullptr : found->second;
}

std::string TClassTable::Key(TStrId name) const {
    std::string key = strings_.Text(name);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

bool IsBuiltInClassName(const std::string& name) {
    static const char* const kNames[] = {
        "toplevel", "Accessibility", "Array", "AsBroadcaster", "Boolean", "Button", "Camera", "Color",
        "ContextMenu", "ContextMenuItem", "CustomActions", "Date", "Enumeration", "Error", "File",
        "FontName", "Function", "FunctionArguments", "Key", "LoadVars", "LocalConnection", "Math",
        "Microphone", "Mouse", "MovieClip", "MovieClipLoader", "NetConnection", "NetStream", "Number",
        "Object", "ObjectID", "PrintJob", "Selection", "SharedObject", "Sound", "Stage", "String",
        "System", "System.capabilities", "System.security", "TextField", "TextField.StyleSheet",
        "TextFormat", "TextSnapshot", "URI", "Video", "XML", "XMLNode", "XMLSocket", "XMLUI",
        "flash.display.BitmapData", "flash.external.ExternalInterface", "flash.filters.BevelFilter",
        "flash.filters.BitmapFilter", "flash.filters.BlurFilter", "flash.filters.ColorMatrixFilter",
        "flash.filters.ConvolutionFilter", "flash.filters.DisplacementMapFilter",
        "flash.filters.DropShadowFilter", "flash.filters.GlowFilter", "flash.filters.GradientBevelFilter",
        "flash.filters.GradientGlowFilter", "flash.geom.ColorTransform", "flash.geom.Matrix",
        "flash.geom.Point", "flash.geom.Rectangle", "flash.geom.Transform", "flash.net.FileReference",
        "flash.net.FileReferenceList", "flash.text.TextRenderer", "System.IME", "mx.core.ComponentVersion",
        "mx.video.ComponentVersion", "mx.video.MediaComponentVersion", "mx.transitions.Version",
    };
    for (const char* candidate : kNames) {
        if (strcasecmp(candidate, name.c_str()) == 0) return true;
    }
    return false;
}
