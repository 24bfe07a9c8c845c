#include "ascompiler/ident_tables.h"

#include <strings.h>

#include "ascompiler/compile_unit.h"

TIdentInfo::TIdentInfo(TStrId name, TStrId type, TBaseIdentTable* table, uint8_t kind)
    : Name(name), Type(type), ScopeKind(kind), Table(table) {}

TClassInfo::TClassInfo(TStrId name, TBaseIdentTable* table) : TIdentInfo(name, 0, table, table->Kind) {}
TClassInfo::~TClassInfo() = default;

TAliasInfo::TAliasInfo(TStrId name, TClassInfo* target, TBaseIdentTable* table)
    : TIdentInfo(name, 0, table, table->Kind), Class(target) {}

TIdentInfo* TBaseIdentTable::Add(TStrId name, TStrId type) {
    Entries.push_back(std::make_unique<TIdentInfo>(name, type, this, Kind));
    return Entries.back().get();
}

TClassInfo* TBaseIdentTable::AddClass(TStrId name) {
    if (TClassInfo* found = FindClass(name)) return found;
    auto entry = std::make_unique<TClassInfo>(name, this);
    TClassInfo* raw = entry.get();
    Entries.push_back(std::move(entry));
    return raw;
}

TAliasInfo* TBaseIdentTable::AddAlias(TStrId name, TClassInfo* target) {
    auto entry = std::make_unique<TAliasInfo>(name, target, this);
    TAliasInfo* raw = entry.get();
    Entries.push_back(std::move(entry));
    return raw;
}

TIdentInfo* TBaseIdentTable::Find(TStrId name, uint8_t flags) const {
    for (auto it = Entries.rbegin(); it != Entries.rend(); ++it) {
        if (!SameName((*it)->Name, name)) continue;
        if (auto* alias = dynamic_cast<TAliasInfo*>(it->get())) return alias->Class;
        return it->get();
    }
    TIdentInfo* found = nullptr;
    if ((flags & fsSuperclasses) && SuperScope) found = SuperScope->Find(name, fsSuperclasses);
    if (!found && (flags & fsEnclosing) && Parent) found = Parent->Find(name, flags);
    return found;
}

TClassInfo* TBaseIdentTable::FindClass(TStrId name) const {
    for (auto it = Entries.rbegin(); it != Entries.rend(); ++it) {
        if (!SameName((*it)->Name, name)) continue;
        if (auto* alias = dynamic_cast<TAliasInfo*>(it->get())) return alias->Class;
        if (auto* info = dynamic_cast<TClassInfo*>(it->get())) return info;
    }
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
