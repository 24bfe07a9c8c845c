// Code of the expression nodes: literals, variables and members, assignments,
// operators, list literals and calls.
#include <cmath>
#include <strings.h>

#include "ascompiler/emit_helpers.h"
#include "ascompiler/tokens.h"
#include "swf/actions_swf4.h"

namespace {

// The object through which a class member written without one is reached:
// `this` for an instance member, the class's path for a static one; none
// for anything else. Found again here because members declared after their
// use were not known while parsing.
TParseTreeNode* MemberObject(TCompileContext& context, TStrId name, TIdentInfo*& entry, TIdentTable* scope) {
    if (!scope || dynamic_cast<TClassInfo*>(entry)) return nullptr;
    if (!entry || entry->Table->Kind == skProgram) {
        TBaseIdentTable* table = scope->Kind == skFunction ? scope->Parent : scope;
        for (; table; table = table->Parent) {
            if (table->Kind != skClass) continue;
            TIdentInfo* found = table->Find(name, fsSuperclasses);
            if (found && found->Table->Kind == skClass && !dynamic_cast<TClassInfo*>(found)) entry = found;
            break;
        }
    }
    if (!entry || entry->Table->Kind != skClass || dynamic_cast<TClassInfo*>(entry)) return nullptr;
    if (entry->Flags & ifStatic) {
        auto* classScope = static_cast<TIdentTable*>(entry->Table);
        TCompoundName path(context.Text(classScope->ClassName), context.Strings());
        TParseTreeNode* object = nullptr;
        for (TStrId part : path.Parts)
            object = context.NewNode<TLvalueNode>(object, context.NewNode<TStrNode>(part), scope);
        return object;
    }
    auto* self = context.NewNode<TLvalueNode>(nullptr, context.NewNode<TStrNode>(TStringTable::This), scope);
    if (scope->Kind == skFunction) self->Entry = scope->UseImplicit(imThis);
    self->Resolved = true;
    return self;
}

}  // namespace

void EmitClassPath(TCompileContext& context, TStrId fullName) {
    context.PushConstant(TStringTable::Global);
    context.EmitAction(acGetVariable);
    TCompoundName path(context.Text(fullName), context.Strings());
    for (TStrId part : path.Parts) {
        context.PushConstant(part);
        context.EmitAction(acGetMember);
    }
}


void TNumberNode::EmitCode(TCompileContext& context) {
    if (Has(nfResultDiscarded)) return;
    // An integral value outside 32 bits would not survive an integer push.
    if (Value == std::trunc(Value) && Value >= -2147483648.0 && Value <= 2147483647.0) {
        context.PushInteger(static_cast<int64_t>(Value));
    } else {
        TEmitArgument argument;
        argument.Double = Value;
        context.EmitAction(acPushDouble, argument);
    }
}

void TStrNode::EmitCode(TCompileContext& context) {
    if (Has(nfResultDiscarded)) return;
    TEmitArgument argument;
    switch (Id) {
        case Undefined: context.PushUndefined(); break;
        case Null: context.PushNull(); break;
        case False:
        case True:
            argument.Bool = Id == True;
            context.EmitAction(acPushBoolean, argument);
            break;
        default: context.PushConstant(Id); break;
    }
}

// ---------------------------------------------------------------- lvalues

void TLvalueNode::ResolveMember(TCompileContext& context) {
    if (Resolved || Object || IsEval) return;
    Resolved = true;
    auto* name = dynamic_cast<TStrNode*>(Name);
    if (!name || name->Id < 0) return;
    Object = MemberObject(context, name->Id, Entry, Scope);
}

void TLvalueNode::EmitCode(TCompileContext& context) {
    ResolveMember(context);
    bool nameOnly = Has(nfNameOnly);
    if (IsEval) {
        if (Has(nfResultDiscarded)) return;
        Name->EmitCode(context);
        if (!nameOnly) context.EmitAction(acGetVariable);
        return;
    }
    auto* name = dynamic_cast<TStrNode*>(Name);
    if (!Object) {
        if (Has(nfResultDiscarded)) return;
        if (int reg = RegisterNumber()) {
            if (!nameOnly) context.EmitRegisterAction('E', reg, name ? name->Id : 0);
            return;
        }
        Name->EmitCode(context);
        if (!nameOnly) context.EmitAction(acGetVariable);
        return;
    }
    Object->EmitCode(context);
    Name->EmitCode(context);
    if (!nameOnly) context.EmitAction(acGetMember);
    DiscardResult(context);
}

void TLvalueNode::EmitFetch(TCompileContext& context) {
    if (int reg = RegisterNumber()) context.EmitRegisterAction('E', reg, 0);
    else context.EmitAction(Object ? acGetMember : acGetVariable);
}

void TLvalueNode::EmitStore(TCompileContext& context) {
    if (int reg = RegisterNumber()) {
        context.EmitRegisterAction('S', reg, 0);
        context.EmitAction(acPop);
    } else {
        context.EmitAction(Object ? acSetMember : acSetVariable);
    }
}

// ---------------------------------------------------------------- assignments

void TAssignNode::EmitCode(TCompileContext& context) {
    bool used = !Has(nfResultDiscarded);
    Target->ResolveMember(context);
    Target->EmitCode(context);
    if (Kind == akAssign) {
        Value->EmitCode(context);
    } else {
        Target->EmitCode(context);
        Target->EmitFetch(context);
        if (Kind == akIncrement || Kind == akDecrement) {
            bool postfix = Has(nfPostfix);
            if (used && postfix) context.EmitRegisterAction('S', 0, 0);
            context.EmitAction(Kind == akIncrement ? acIncrement : acDecrement);
            if (used && !postfix) context.EmitRegisterAction('S', 0, 0);
            Target->EmitStore(context);
            if (used) context.EmitRegisterAction('E', 0, 0);
            return;
        }
        Value->EmitCode(context);
        static const int kOperators[] = {acAdd2,   acSubtract, acMultiply,  acDivide,    acModulo,    acBitAnd,
                                         acBitXor, acBitOr,    acBitLShift, acBitRShift, acBitURShift};
        if (Kind < akAdd || Kind > akShiftRightUnsigned) throw EActionCompileError("Unknown action command.");
        context.EmitAction(kOperators[Kind - akAdd]);
    }
    if (!used) {
        Target->EmitStore(context);
        return;
    }
    context.EmitRegisterAction('S', 0, 0);
    Target->EmitStore(context);
    context.EmitRegisterAction('E', 0, 0);
}

// ---------------------------------------------------------------- operators

void TBinOpNode::EmitCode(TCompileContext& context) {
    if (Op == tkAnd || Op == tkOr) {
        Left->EmitCode(context);
        context.EmitAction(acPushDuplicate);
        if (Op == tkAnd) context.EmitAction(acNot);
        auto* branch = static_cast<TSWFActionJump*>(context.EmitAction(acIf));
        context.EmitAction(acPop);
        Right->EmitCode(context);
        context.PlaceMarker(&branch->GetLabel());
        DiscardResult(context);
        return;
    }
    // Operators written with their operands swapped.
    bool swapped = Op == '>' || Op == tkLessEq || Op == tkStrGt || Op == tkStrLe;
    (swapped ? Right : Left)->EmitCode(context);
    (swapped ? Left : Right)->EmitCode(context);
    int action = -1;
    bool negate = false;
    switch (Op) {
        case '*': action = acMultiply; break;
        case '/': action = acDivide; break;
        case '%': action = acModulo; break;
        case '+': action = acAdd2; break;
        case '-': action = acSubtract; break;
        case '<':
        case '>': action = acLess2; break;
        case tkGreaterEq:
        case tkLessEq: action = acLess2; negate = true; break;
        case tkEquals: action = acEquals2; break;
        case tkNotEquals: action = acEquals2; negate = true; break;
        case tkStrictEquals: action = acStrictEquals; break;
        case tkStrictNotEquals: action = acStrictEquals; negate = true; break;
        case tkBitAnd: action = acBitAnd; break;
        case tkBitXor: action = acBitXor; break;
        case tkBitOr: action = acBitOr; break;
        case tkShiftLeft: action = acBitLShift; break;
        case tkShiftRight: action = acBitRShift; break;
        case tkShiftRightUnsigned: action = acBitURShift; break;
        case tkInstanceof: action = acInstanceOf; break;
        case tkStrAdd: action = acStringAdd; break;
        case tkStrEq: action = acStringEquals; break;
        case tkStrNe: action = acStringEquals; negate = true; break;
        case tkStrLt:
        case tkStrGt: action = acStringLess; break;
        case tkStrGe:
        case tkStrLe: action = acStringLess; negate = true; break;
        default: throw EActionCompileError("Unknown action command.");
    }
    context.EmitAction(action);
    if (negate) context.EmitAction(acNot);
    DiscardResult(context);
}

void TUnOpNode::EmitCode(TCompileContext& context) {
    switch (Op) {
        case TUnaryOp::Negate:
            context.PushInteger(0);
            Operand->EmitCode(context);
            context.EmitAction(acSubtract);
            break;
        case TUnaryOp::BitNot:
            Operand->EmitCode(context);
            context.PushInteger(-1);
            context.EmitAction(acBitXor);
            break;
        case TUnaryOp::Not:
            Operand->EmitCode(context);
            context.EmitAction(acNot);
            break;
        case TUnaryOp::TypeOf:
            Operand->EmitCode(context);
            context.EmitAction(acTypeOf);
            break;
        case TUnaryOp::Void:
            Operand->EmitCode(context);
            context.EmitAction(acPop);
            context.PushUndefined();
            break;
        case TUnaryOp::Delete:
            if (auto* lvalue = dynamic_cast<TLvalueNode*>(Operand)) {
                lvalue->ResolveMember(context);
                lvalue->Set(nfNameOnly);
                lvalue->EmitCode(context);
                context.EmitAction(lvalue->Object ? acDelete : acDelete2);
            } else {
                Operand->EmitCode(context);
                context.EmitAction(acDelete2);
            }
            break;
    }
    DiscardResult(context);
}

// ---------------------------------------------------------------- lists

void TExprListNode::EmitCode(TCompileContext& context) {
    if (Has(nfSequence)) {
        for (size_t i = 0; i < Items.size(); ++i) {
            if (i + 1 < Items.size() || Has(nfResultDiscarded)) Items[i]->Set(nfResultDiscarded);
            Items[i]->EmitCode(context);
        }
        return;
    }
    for (auto item = Items.rbegin(); item != Items.rend(); ++item) (*item)->EmitCode(context);
    if (Has(nfObjectLiteral)) {
        context.PushInteger(static_cast<int64_t>(Items.size() / 2));
        context.EmitAction(acInitObject);
        DiscardResult(context);
    } else if (Has(nfArrayLiteral)) {
        context.PushInteger(static_cast<int64_t>(Items.size()));
        context.EmitAction(acInitArray);
        DiscardResult(context);
    } else {
        context.PushInteger(static_cast<int64_t>(Items.size()));
    }
}

// ---------------------------------------------------------------- calls

void TFuncCallNode::EmitCode(TCompileContext& context) {
    if (!Object && EmitBuiltIn(context)) {
        DiscardResult(context);
        return;
    }
    TClassInfo* cast = Class ? Class : dynamic_cast<TClassInfo*>(Entry);
    if (cast && !Has(nfConstruction)) {
        if (Args->Items.size() != 1) {
            throw EActionCompileError(
                FormatStr("Invalid cast operation in line %d\nRequires 1 parameter.", Pos.Line));
        }
        EmitClassPath(context, cast->Name);
        Args->Items[0]->EmitCode(context);
        context.EmitAction(acCastOp);
        DiscardResult(context);
        return;
    }
    if (!Object && !Resolved) {
        Resolved = true;
        Object = MemberObject(context, Name, Entry, Scope);
    }
    Args->EmitCode(context);
    int reg = Entry && Entry->Register > 0 ? Entry->Register : 0;
    if (Object) {
        Object->EmitCode(context);
        context.PushConstant(Name);
        context.EmitAction(Has(nfConstruction) ? acNewMethod : acCallMethod);
    } else if (Has(nfConstruction)) {
        if (strcasecmp(context.Text(Name).c_str(), "array") == 0) {
            context.EmitAction(acInitArray);
        } else if (reg) {
            context.EmitRegisterAction('E', reg, Name);
            context.PushUndefined();
            context.EmitAction(acNewMethod);
        } else {
            context.PushConstant(Name);
            context.EmitAction(acNewObject);
        }
    } else if (Name == TStringTable::Super) {
        TIdentInfo* super = Scope ? Scope->SuperEntry : nullptr;
        if (super && super->Register > 0) {
            context.EmitRegisterAction('E', super->Register, Name);
        } else {
            context.PushConstant(Name);
            context.EmitAction(acGetVariable);
        }
        context.PushUndefined();
        context.EmitAction(acCallMethod);
    } else if (reg) {
        context.EmitRegisterAction('E', reg, Name);
        context.PushUndefined();
        context.EmitAction(acCallMethod);
    } else {
        context.PushConstant(Name);
        context.EmitAction(acCallFunction);
    }
    DiscardResult(context);
}
