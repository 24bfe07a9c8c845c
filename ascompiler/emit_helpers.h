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
// The body (outside any enclosing loop) and the end-of-body marker.
void EmitFunctionBody(TCompileContext& context, TParseTreeNode* body, TSWFActionDefineFunction2& header);
// _global and the parts of a class's full name, each through GetMember.
void EmitClassPath(TCompileContext& context, TStrId fullName);
