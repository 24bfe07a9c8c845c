// Pieces of code generation shared by the node files.
#pragma once

#include "ascompiler/compile_context.h"

class TSWFActionDefineFunction2;

// Gives the scope's identifiers their registers (this, arguments and super
// first, the rest in order of declaration, up to register 254).
void AllocateRegisters(TIdentTable& scope);
// DefineFunction2 for a function of the scope, with its registers allocated
// and its preload and suppress flags set.
TSWFActionDefineFunction2* EmitFunctionHeader2(TCompileContext& context, TIdentTable& scope, TStrId name,
                                                const TArgDeclListNode* params);
// The header of the movie's version: DefineFunction2 from SWF 7 on,
// DefineFunction (every variable by name) before.
struct TFunctionHeader {
    TSWFAction* Action;
    TSWFOffsetMarker* End;  // the end-of-body marker
    size_t Index;           // the header's place in the list
    TStrId Name;
};
TFunctionHeader EmitFunctionHeader(TCompileContext& context, TIdentTable& scope, TStrId name,
                                   const TArgDeclListNode* params);
// The body (outside any enclosing loop; its nested function declarations
// first) and the end-of-body marker; raises when the body is too long.
void EmitFunctionBody(TCompileContext& context, TParseTreeNode* body, const TFunctionHeader& header);
// The index of a clip property by name in any case (_x is 0), or -1.
int ClipPropertyIndex(const std::string& name);
// _global and the parts of a class's full name, each through GetMember.
void EmitClassPath(TCompileContext& context, TStrId fullName);
