// A frame script built from action objects, with the trace output a player
// must give for it: every push value type, a function with registers, a
// counted loop (backward Jump, forward If), try/catch/finally with Throw, a
// catch into a register, and a with-block. Branch offsets and block sizes
// come from markers only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "swf/actions_swf4.h"
#include "swf/actions_swf5.h"
#include "swf/do_action.h"

namespace actions_fixture {

class TScript {
public:
    explicit TScript(TSWFActionList& list) : list_(list) {}

    template <class T>
    T& Add() {
        return *list_.Add(std::make_unique<T>());
    }
    TSWFActionPush& Push(std::initializer_list<TPushValue> values) {
        auto& push = Add<TSWFActionPush>();
        for (const TPushValue& value : values) push.AddValue(value);
        return push;
    }
    void Trace() { Add<TSWFActionTrace>(); }
    void Place(TSWFOffsetMarker& marker) { list_.AddMarker(marker); }

private:
    TSWFActionList& list_;
};

inline std::vector<std::string> ExpectedTrace() {
    return {"str", "42", "2.5", "1.5", "true", "null", "undefined", "pool-8", "pool-16", "7",
            "81", "10", "caught: boom", "finally", "5", "3", "done"};
}

inline std::unique_ptr<TSWFDoAction> BuildScript() {
    auto tag = std::make_unique<TSWFDoAction>();
    TScript s(tag->Actions());

    auto& pool = s.Add<TSWFActionConstantPool>();
    pool.Constants = {"pool-8", "pool-16", "total", "i", "sq"};

    // Every push value type.
    s.Push({"str"}), s.Trace();
    s.Push({42}), s.Trace();
    s.Push({2.5}), s.Trace();
    s.Push({1.5f}), s.Trace();
    s.Push({true}), s.Trace();
    s.Push({TPushValue::Null()}), s.Trace();
    s.Push({TPushValue::Undefined()}), s.Trace();
    s.Push({TPushValue::Constant8(0)}), s.Trace();
    s.Push({TPushValue::Constant16(1)}), s.Trace();
    s.Push({7});
    s.Add<TSWFActionStoreRegister>().RegisterNumber = 1;
    s.Add<TSWFActionPop>();
    s.Push({TPushValue::Register(1)}), s.Trace();

    // function sq(x) { return x * x; } with x in register 1.
    auto& sq = s.Add<TSWFActionDefineFunction2>();
    sq.FunctionName = "sq";
    sq.RegisterCount = 2;
    sq.SuppressThis = sq.SuppressArguments = sq.SuppressSuper = true;
    sq.AddParam("x", 1);
    s.Push({TPushValue::Register(1), TPushValue::Register(1)});
    s.Add<TSWFActionMultiply>();
    s.Add<TSWFActionReturn>();
    s.Place(sq.GetLabel());
    s.Push({9, 1, TPushValue::Constant8(4)});
    s.Add<TSWFActionCallFunction>();
    s.Trace();

    // total = 0; for (i = 0; i < 5; i++) total += i;
    s.Push({TPushValue::Constant8(2), 0});
    s.Add<TSWFActionSetVariable>();
    s.Push({TPushValue::Constant8(3), 0});
    s.Add<TSWFActionSetVariable>();
    auto back = std::make_unique<TSWFActionJump>();
    s.Place(back->GetLabel());  // the loop's top; a marker is backward by default
    s.Push({TPushValue::Constant8(3)});
    s.Add<TSWFActionGetVariable>();
    s.Push({5});
    s.Add<TSWFActionLess2>();
    s.Add<TSWFActionNot>();
    auto& exit = s.Add<TSWFActionIf>();
    exit.GetLabel().Backward = false;
    s.Push({TPushValue::Constant8(2), TPushValue::Constant8(2)});
    s.Add<TSWFActionGetVariable>();
    s.Push({TPushValue::Constant8(3)});
    s.Add<TSWFActionGetVariable>();
    s.Add<TSWFActionAdd2>();
    s.Add<TSWFActionSetVariable>();
    s.Push({TPushValue::Constant8(3), TPushValue::Constant8(3)});
    s.Add<TSWFActionGetVariable>();
    s.Add<TSWFActionIncrement>();
    s.Add<TSWFActionSetVariable>();
    tag->Actions().Add(std::move(back));
    s.Place(exit.GetLabel());
    s.Push({TPushValue::Constant8(2)});
    s.Add<TSWFActionGetVariable>();
    s.Trace();

    // try { throw "boom"; } catch (e) { trace("caught: " + e); } finally { trace("finally"); }
    auto& block = s.Add<TSWFActionTry>();
    block.CatchBlockFlag = block.FinallyBlockFlag = true;
    block.CatchName = "e";
    s.Push({"boom"});
    s.Add<TSWFActionThrow>();
    s.Place(block.GetTryLabel());
    s.Push({"caught: ", "e"});
    s.Add<TSWFActionGetVariable>();
    s.Add<TSWFActionAdd2>();
    s.Trace();
    s.Place(block.GetCatchLabel());
    s.Push({"finally"}), s.Trace();
    s.Place(block.GetFinallyLabel());

    // try { throw 5; } catch (r2) { trace(r2); }, the exception in register 2.
    auto& inRegister = s.Add<TSWFActionTry>();
    inRegister.CatchBlockFlag = inRegister.CatchInRegisterFlag = true;
    inRegister.CatchRegister = 2;
    s.Push({5});
    s.Add<TSWFActionThrow>();
    s.Place(inRegister.GetTryLabel());
    s.Push({TPushValue::Register(2)}), s.Trace();
    s.Place(inRegister.GetCatchLabel());

    // obj = {x: 3}; with (obj) { trace(x); }
    s.Push({"obj", "x", 3, 1});
    s.Add<TSWFActionInitObject>();
    s.Add<TSWFActionSetVariable>();
    s.Push({"obj"});
    s.Add<TSWFActionGetVariable>();
    auto& with = s.Add<TSWFActionWith>();
    s.Push({"x"});
    s.Add<TSWFActionGetVariable>();
    s.Trace();
    s.Place(with.GetLabel());

    s.Push({"done"}), s.Trace();
    s.Add<TSWFActionStop>();
    return tag;
}

}  // namespace actions_fixture
