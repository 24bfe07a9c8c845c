// Script classes: the class path, the parsing of referenced class files,
// and the code that builds a class or interface at run time, emitted once
// per movie into the init actions of a sprite of its own.
#include <algorithm>
#include <filesystem>
#include <strings.h>

#include "ascompiler/emit_helpers.h"
#include "platform/paths.h"
#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "movie/sprites.h"
#include "swf/actions_swf4.h"
#include "swf/actions_swf5.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWorkRegister = 1;

// The package path of a full class name into register 1 (and onto the
// stack), creating missing package objects under _global.
void EmitPackagePath(TCompileContext& context, const std::vector<TStrId>& parts) {
    context.PushConstant(TStringTable::Global);
    context.EmitAction(acGetVariable);
    context.EmitRegisterAction('S', kWorkRegister, 0);
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        context.PushConstant(parts[i]);
        context.EmitAction(acGetMember);
        context.EmitAction(acNot);
        context.EmitAction(acNot);
        auto* exists = static_cast<TSWFActionIf*>(context.EmitAction(acIf));
        context.EmitRegisterAction('E', kWorkRegister, 0);
        context.PushConstant(parts[i]);
        context.PushInteger(0);
        context.PushConstant(TStringTable::Object);
        context.EmitAction(acNewObject);
        context.EmitAction(acSetMember);
        context.PlaceMarker(&exists->GetLabel());
        context.EmitRegisterAction('E', kWorkRegister, 0);
        context.PushConstant(parts[i]);
        context.EmitAction(acGetMember);
        context.EmitRegisterAction('S', kWorkRegister, 0);
    }
}

// Skips the rest when the class already exists; returns the branch's marker.
TSWFOffsetMarker* EmitExistsCheck(TCompileContext& context, TStrId lastPart) {
    context.PushConstant(lastPart);
    context.EmitAction(acGetMember);
    context.EmitAction(acNot);
    context.EmitAction(acNot);
    auto* exists = static_cast<TSWFActionIf*>(context.EmitAction(acIf));
    return &exists->GetLabel();
}

TStrId StoredName(TCompileContext& context, TFuncDefNode* method) {
    if (method->Has(nfGetter)) return context.Strings().Intern("__get__" + context.Text(method->Name));
    if (method->Has(nfSetter)) return context.Strings().Intern("__set__" + context.Text(method->Name));
    return method->Name;
}

bool IsStatic(TFuncDefNode* method) { return method->Entry && (method->Entry->Flags & ifStatic); }

void EmitMember(TCompileContext& context, TStrId name, TParseTreeNode* value) {
    context.EmitRegisterAction('E', kWorkRegister, 0);
    context.PushConstant(name);
    value->Set(nfMember);
    value->EmitCode(context);
    context.EmitAction(acSetMember);
}

}  // namespace

namespace {

// Classes build on actions of SWF 7 (Extends, ImplementsOp, CastOp and
// registers): an older movie stays as it is and the class is refused.
void RequireClassVersion(TCompileContext& context, TCompoundName* name) {
    if (context.MovieVersion() < 7) {
        throw EActionCompileError(FormatStr("Class %s needs a movie of SWF version 7 or later; this movie is version %d.",
                                            context.Text(name->FullName(context.Strings())).c_str(),
                                            context.MovieVersion()));
    }
}

}  // namespace

void TClassImplNode::EmitCode(TCompileContext& context) {
    RequireClassVersion(context, Name);
    TStringTable& strings = context.Strings();
    EmitPackagePath(context, Name->Parts);
    TSWFOffsetMarker* end = EmitExistsCheck(context, Name->LastPart());

    // The constructor: register 1 holds it from here.
    context.EmitRegisterAction('E', kWorkRegister, 0);
    context.PushConstant(Name->LastPart());
    TIdentTable& scope = *Constructor->Scope;
    scope.UseImplicit(imThis);
    scope.UseImplicit(imSuper);
    TFunctionHeader header = EmitFunctionHeader(context, scope, TStringTable::Empty, Constructor->Params);
    if (SuperName && scope.AutoSuperCall) {
        context.PushInteger(0);
        context.EmitRegisterAction('E', scope.SuperEntry->Register, TStringTable::Super);
        context.PushUndefined();
        context.EmitAction(acCallMethod);
        context.EmitAction(acPop);
    }
    auto initialiseFields = [&] {
        for (TVarDeclListNode* fields : Body ? Body->Fields : std::vector<TVarDeclListNode*>{}) {
            if (fields->Static) continue;
            for (TVarDeclNode* field : fields->Decls) {
                if (!field->Value) continue;
                context.EmitRegisterAction('E', scope.ThisEntry->Register, TStringTable::This);
                context.PushConstant(field->Entry->Name);
                field->Value->Set(nfMember);
                field->Value->EmitCode(context);
                context.EmitAction(acSetMember);
            }
        }
    };
    // The fields get their values after the superclass's constructor ran,
    // so that a subclass's initial values win over its superclass's.
    struct TClearAfterSuper {
        TCompileContext& context;
        ~TClearAfterSuper() { context.AfterSuperCall = nullptr; }
    } clearAfterSuper{context};
    if (SuperName && !scope.AutoSuperCall) context.AfterSuperCall = initialiseFields;
    else initialiseFields();
    EmitFunctionBody(context, Constructor->Body, header);
    context.EmitRegisterAction('S', kWorkRegister, 0);
    context.EmitAction(acSetMember);

    if (SuperName) {
        context.EmitRegisterAction('E', kWorkRegister, 0);
        EmitClassPath(context, SuperName->FullName(strings));
        context.EmitAction(acExtends);
    }
    if (Interfaces && !Interfaces->Names.empty()) {
        for (TCompoundName* name : Interfaces->Names) EmitClassPath(context, name->FullName(strings));
        context.PushInteger(static_cast<int64_t>(Interfaces->Names.size()));
        context.EmitRegisterAction('E', kWorkRegister, 0);
        context.EmitAction(acImplementsOp);
    }
    std::vector<TFuncDefNode*> noMethods;
    const std::vector<TFuncDefNode*>& methods = Body ? Body->Methods : noMethods;
    if (Body) {
        for (TVarDeclListNode* fields : Body->Fields) {
            if (!fields->Static) continue;
            for (TVarDeclNode* field : fields->Decls) {
                if (field->Value) EmitMember(context, field->Entry->Name, field->Value);
            }
        }
    }
    for (TFuncDefNode* method : methods) {
        if (IsStatic(method)) EmitMember(context, StoredName(context, method), method);
    }

    // The prototype: register 1 holds it from here.
    context.EmitRegisterAction('E', kWorkRegister, 0);
    context.PushConstant(TStringTable::Prototype);
    context.EmitAction(acGetMember);
    context.EmitRegisterAction('S', kWorkRegister, 0);
    context.EmitAction(acPop);

    struct TProperty {
        TStrId Name;
        size_t Order;
        bool Getter = false, Setter = false;
    };
    std::vector<TProperty> properties;
    for (TFuncDefNode* method : methods) {
        if (IsStatic(method)) continue;
        EmitMember(context, StoredName(context, method), method);
        if (!method->Has(nfGetter) && !method->Has(nfSetter)) continue;
        auto found = std::find_if(properties.begin(), properties.end(),
                                  [&](const TProperty& p) { return p.Name == method->Name; });
        if (found == properties.end()) {
            properties.push_back({method->Name, properties.size()});
            found = properties.end() - 1;
        }
        (method->Has(nfGetter) ? found->Getter : found->Setter) = true;
    }
    // The order of a 113-bucket hash table keyed by the name's number: buckets
    // ascending, the newest name first within a bucket.
    std::sort(properties.begin(), properties.end(), [](const TProperty& a, const TProperty& b) {
        if (a.Name % 113 != b.Name % 113) return a.Name % 113 < b.Name % 113;
        return a.Order > b.Order;
    });
    for (const TProperty& property : properties) {
        for (bool setter : {true, false}) {
            if (setter ? property.Setter : property.Getter) {
                context.EmitRegisterAction('E', kWorkRegister, 0);
                context.PushConstant(strings.Intern((setter ? "__set__" : "__get__") + context.Text(property.Name)));
                context.EmitAction(acGetMember);
            } else {
                context.PushNull();
            }
        }
        context.PushConstant(property.Name);
        context.PushInteger(3);
        context.EmitRegisterAction('E', kWorkRegister, 0);
        context.PushConstant(strings.Intern("addProperty"));
        context.EmitAction(acCallMethod);
        context.EmitAction(acPop);
    }
    context.PlaceMarker(end);
}

void TClassIntfNode::EmitCode(TCompileContext& context) {
    RequireClassVersion(context, Name);
    EmitPackagePath(context, Name->Parts);
    TSWFOffsetMarker* end = EmitExistsCheck(context, Name->LastPart());
    context.EmitRegisterAction('E', kWorkRegister, 0);
    context.PushConstant(Name->LastPart());
    auto* function =
        static_cast<TSWFActionDefineFunction*>(context.EmitFunctionHeader(acDefineFunction, TStringTable::Empty, nullptr, 0));
    context.PushUndefined();
    context.EmitAction(acReturn);
    context.EmitAction(acFunctionEnd);
    context.PlaceMarker(&function->GetLabel());
    context.EmitRegisterAction('S', kWorkRegister, 0);
    context.EmitAction(acSetMember);
    if (SuperName) {
        EmitClassPath(context, SuperName->FullName(context.Strings()));
        context.PushInteger(1);
        context.EmitRegisterAction('E', kWorkRegister, 0);
        context.EmitAction(acImplementsOp);
    }
    context.PlaceMarker(end);
}

// ---------------------------------------------------------------- class path

void TCompileContext::AddClassPath(const std::string& path) {
    std::string native = NativePath(path);
    if (native.empty() || native[0] != '/' || !DirectoryExists(native))
        throw EActionCompileError(FormatStr("Class path \"%s\" not found.", path.c_str()));
    ScanClassPath(native, "");
}

void TCompileContext::ScanClassPath(const std::string& folder, const std::string& prefix) {
    std::string base = IncludeTrailingPathDelimiter(folder);
    std::string packagePrefix = prefix == "." ? "" : prefix;
    std::vector<std::string> files, folders;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(base, error)) {
        std::string name = item.path().filename().string();
        if (item.is_directory(error)) folders.push_back(name);
        else if (name.size() > 3 && name.compare(name.size() - 3, 3, ".as") == 0) files.push_back(name);
    }
    // Listing order is the file system's; sorted, the scan is the same everywhere.
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    for (const std::string& file : files) {
        TStrId name = strings_->Intern(packagePrefix + file.substr(0, file.size() - 3));
        TClassInfo* info = classes_->AddClass(name);
        info->FileName = base + file;
        if (IsBuiltInClassName(Text(name))) info->ClassFlags = cfBuiltIn;
        AddIncludePath(base);
    }
    int version = MovieVersion();
    for (const std::string& sub : folders) {
        if (strcasecmp(sub.c_str(), "FP7") == 0) {
            if (version == 7) ScanClassPath(base + sub, prefix);
        } else if (strcasecmp(sub.c_str(), "FP9") == 0) {
            if (version == 9) ScanClassPath(base + sub, prefix);
        } else if (strcasecmp(sub.c_str(), "FP8") == 0) {
            if (version >= 8) ScanClassPath(base + sub, prefix);
        } else {
            ScanClassPath(base + sub, packagePrefix + sub + ".");
        }
    }
}

// ---------------------------------------------------------------- referenced classes

void TCompileContext::ProcessClasses() {
    TCompileUnit* saved = currentUnit_;
    struct TRestore {
        TCompileContext& context;
        TCompileUnit* unit;
        ~TRestore() {
            context.currentUnit_ = unit;
            context.builder_ = nullptr;
        }
    } restore{*this, saved};
    ParseClassFiles();
    EmitClasses();
}

void TCompileContext::ParseClassFiles() {
    for (bool parsed = true; parsed;) {
        parsed = false;
        for (size_t i = 0; i < classes_->Entries.size(); ++i) {
            auto* info = dynamic_cast<TClassInfo*>(classes_->Entries[i].get());
            if (!info || !(info->ClassFlags & cfReferenced) || (info->ClassFlags & cfBuiltIn) || info->Unit ||
                info->FileName.empty())
                continue;
            TFileStream file(info->FileName, TFileMode::OpenRead);
            uint8_t mark[3] = {0, 0, 0};
            if (file.Read(mark, 3) != 3 || mark[0] != 0xEF || mark[1] != 0xBB || mark[2] != 0xBF) file.SetPosition(0);
            auto unit = std::make_unique<TCompileUnit>();
            currentUnit_ = unit.get();
            ParseActionSource(file);
            info->Unit = std::move(unit);
            parsed = true;
        }
    }
}

void TCompileContext::EmitClasses() {
    for (bool emitted = true; emitted;) {
        emitted = false;
        for (size_t i = 0; i < classes_->Entries.size(); ++i) {
            auto* info = dynamic_cast<TClassInfo*>(classes_->Entries[i].get());
            if (!info || info->ClassFlags != cfReferenced || !info->Unit) continue;
            std::vector<TClassInfo*> pending;
            EmitClass(*info, pending);
            emitted = true;
        }
    }
}

void TCompileContext::EmitClass(TClassInfo& info, std::vector<TClassInfo*>& pending) {
    if (std::find(pending.begin(), pending.end(), &info) != pending.end())
        throw EActionCompileError(FormatStr("Class %s extends or implements itself.", Text(info.Name).c_str()));
    pending.push_back(&info);
    TClassDefNode* definition = info.Definition;
    if (definition && info.Scope && !info.Scope->SuperScope && definition->SuperName) {
        if (TClassInfo* super = classes_->FindClass(definition->SuperName->FullName(*strings_)))
            info.Scope->SuperScope = super->Scope;
    }
    if (definition) {
        for (TCompoundName* name : definition->Dependencies()) {
            TClassInfo* dependency = classes_->FindClass(name->FullName(*strings_));
            if (dependency && !(dependency->ClassFlags & (cfEmitted | cfBuiltIn)) && dependency->Unit)
                EmitClass(*dependency, pending);
        }
    }
    pending.pop_back();
    if (info.ClassFlags & cfEmitted) return;
    TFlashSprite* sprite = Movie.AddSprite();
    builder_ = &sprite->GetInitActions();
    currentUnit_ = info.Unit.get();
    if (currentUnit_->Root) currentUnit_->Root->EmitCode(*this);
    EmitConstantPool(acConstantPool, currentUnit_->ConstantPool);
    info.ClassFlags |= cfEmitted;
    builder_ = nullptr;
}
