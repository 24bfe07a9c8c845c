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

int TLvalueNode::ClipProperty(TCompileContext& context) const {
    if (Object || IsEval || Entry || !context.ClipPropertiesBare()) return -1;
    auto* name = dynamic_cast<TStrNode*>(Name);
    return name && name->Id >= 0 ? ClipPropertyIndex(context.Text(name->Id)) : -1;
}

void TLvalueNode::EmitCode(TCompileContext& context) {
    ResolveMember(context);
    bool nameOnly = Has(nfNameOnly);
    if (int property = ClipProperty(context); property >= 0) {
        // The property of the current target: "" names it.
        if (Has(nfResultDiscarded)) return;
        context.PushString("");
        context.PushInteger(property);
        if (!nameOnly) context.EmitAction(acGetProperty);
        return;
    }
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
    else if (ClipProperty(context) >= 0) context.EmitAction(acGetProperty);
    else context.EmitAction(Object ? acGetMember : acGetVariable);
}

void TLvalueNode::EmitStore(TCompileContext& context) {
    if (ClipProperty(context) >= 0) {
        context.EmitAction(acSetProperty);
    } else if (int reg = RegisterNumber()) {
        context.EmitRegisterAction('S', reg, 0);
        context.EmitAction(acPop);
    } else {
        context.EmitAction(Object ? acSetMember : acSetVariable);
    }
}

// ---------------------------------------------------------------- assignments

namespace {

// Whether evaluating node twice gives the same as once: constants and chains
// of names read by constant names.
bool IsPlainPath(TParseTreeNode* node) {
    if (!node || dynamic_cast<TStrNode*>(node) || dynamic_cast<TNumberNode*>(node)) return true;
    auto* lvalue = dynamic_cast<TLvalueNode*>(node);
    if (!lvalue || lvalue->IsEval) return false;
    auto* name = dynamic_cast<TStrNode*>(lvalue->Name);
    return name && IsPlainPath(lvalue->Object);
}

}  // namespace

void TAssignNode::EmitCode(TCompileContext& context) {
    bool used = !Has(nfResultDiscarded);
    Target->ResolveMember(context);
    Target->EmitCode(context);
    if (Kind == akAssign) {
        Value->EmitCode(context);
    } else {
        if (IsPlainPath(Target->Object) && IsPlainPath(Target->Name)) {
            Target->EmitCode(context);
        } else if (Target->Object) {
            // object, name -> object, name, object, name: each evaluated once.
            context.EmitRegisterAction('S', 0, 0);
            context.EmitAction(acPop);
            context.EmitAction(acPushDuplicate);
            context.EmitRegisterAction('E', 0, 0);
            context.EmitAction(acStackSwap);
            context.EmitRegisterAction('E', 0, 0);
        } else {
            context.EmitAction(acPushDuplicate);
        }
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

namespace {

bool IsLogical(int op) { return op == tkAnd || op == tkOr; }
// Operators that compare the other way round: > and <= (and gt, le).
bool IsReversed(int op) { return op == '>' || op == tkLessEq || op == tkStrGt || op == tkStrLe; }

// The action of an operator, and whether Not follows it. The operands are
// on the stack left first; a reversed comparison uses Greater (or, before
// SWF 6, swaps them for Less).
int OperatorAction(TCompileContext& context, int op, bool& negate) {
    if (IsReversed(op)) {
        negate = op == tkLessEq || op == tkStrLe;
        bool strings = op == tkStrGt || op == tkStrLe;
        if (context.MovieVersion() >= 6) return strings ? acStringGreater : acGreater;
        context.EmitAction(acStackSwap);
        return strings ? acStringLess : acLess2;
    }
    negate = op == tkGreaterEq || op == tkLessEq || op == tkNotEquals || op == tkStrictNotEquals || op == tkStrNe ||
             op == tkStrGe || op == tkStrLe;
    switch (op) {
        case '*': return acMultiply;
        case '/': return acDivide;
        case '%': return acModulo;
        case '+': return acAdd2;
        case '-': return acSubtract;
        case '<':
        case '>':
        case tkGreaterEq:
        case tkLessEq: return acLess2;
        case tkEquals:
        case tkNotEquals: return acEquals2;
        case tkStrictEquals:
        case tkStrictNotEquals: return acStrictEquals;
        case tkBitAnd: return acBitAnd;
        case tkBitXor: return acBitXor;
        case tkBitOr: return acBitOr;
        case tkShiftLeft: return acBitLShift;
        case tkShiftRight: return acBitRShift;
        case tkShiftRightUnsigned: return acBitURShift;
        case tkInstanceof: return acInstanceOf;
        case tkStrAdd: return acStringAdd;
        case tkStrEq:
        case tkStrNe: return acStringEquals;
        case tkStrLt:
        case tkStrGt:
        case tkStrGe:
        case tkStrLe: return acStringLess;
        default: throw EActionCompileError("Unknown action command.");
    }
}

}  // namespace

// Operator trees are as deep as their chains are long (a + b + c ... nests
// to the left), so they are walked with a stack of their own: operands in
// their order, then the operator's actions.
void TBinOpNode::EmitCode(TCompileContext& context) {
    enum TStep { sOperand, sBetween, sFinish };
    std::vector<std::pair<TParseTreeNode*, TStep>> steps{{this, sOperand}};
    while (!steps.empty()) {
        auto [node, step] = steps.back();
        steps.pop_back();
        auto* op = dynamic_cast<TBinOpNode*>(node);
        if (!op) {
            node->EmitCode(context);
            continue;
        }
        if (step == sOperand) {
            steps.push_back({op, sFinish});
            if (IsLogical(op->Op)) {
                steps.push_back({op->Right, sOperand});
                steps.push_back({op, sBetween});
                steps.push_back({op->Left, sOperand});
            } else {
                steps.push_back({op->Right, sOperand});
                steps.push_back({op->Left, sOperand});
            }
        } else if (step == sBetween) {
            context.EmitAction(acPushDuplicate);
            if (op->Op == tkAnd) context.EmitAction(acNot);
            op->EndMarker = &static_cast<TSWFActionJump*>(context.EmitAction(acIf))->GetLabel();
            context.EmitAction(acPop);
        } else {
            if (IsLogical(op->Op)) {
                context.PlaceMarker(op->EndMarker);
            } else {
                bool negate = false;
                context.EmitAction(OperatorAction(context, op->Op, negate));
                if (negate) context.EmitAction(acNot);
            }
            op->DiscardResult(context);
        }
    }
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
        case TUnaryOp::Plus:
            Operand->EmitCode(context);
            context.EmitAction(acToNumber);
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
    if (Callee) {
        // A computed name, or a value called itself.
        Args->EmitCode(context);
        if (Object) Object->EmitCode(context);
        Callee->EmitCode(context);
        if (Object) context.EmitAction(Has(nfConstruction) ? acNewMethod : acCallMethod);
        else context.EmitAction(Has(nfConstruction) ? acNewObject : acCallFunction);
        DiscardResult(context);
        return;
    }
    // new String(x) and new Number(x) make objects: no built-in function.
    if (!Object && !Has(nfConstruction) && EmitBuiltIn(context)) {
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
        // new Array(n) with one argument makes n empty slots: only the
        // constructor does that.
        if (strcasecmp(context.Text(Name).c_str(), "array") == 0 && Args->Items.size() != 1) {
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
        if (context.AfterSuperCall) {
            DiscardResult(context);
            std::function<void()> after = std::move(context.AfterSuperCall);
            context.AfterSuperCall = nullptr;
            after();
            if (!Has(nfResultDiscarded)) context.PushUndefined();
            return;
        }
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
