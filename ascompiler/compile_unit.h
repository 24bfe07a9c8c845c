// One compilation of one source: its parse tree, the scopes opened while it
// was parsed, and its constant pool. The unit owns all of them; nodes live
// in an arena of the unit (a large source makes a million of them) and go
// all at once with it.
#pragma once

#include <memory>
#include <memory_resource>
#include <utility>
#include <vector>

#include "ascompiler/containers.h"
#include "ascompiler/parse_tree.h"

class TFlashActionScript;
class TFlashButton;
class TFlashPlaceObject;
class TCondActionsHost;

class TCompileUnit {
public:
    TCompileUnit() = default;
    ~TCompileUnit();
    TCompileUnit(const TCompileUnit&) = delete;
    TCompileUnit& operator=(const TCompileUnit&) = delete;

    template <class T, class... Args>
    T* NewNode(Args&&... args) {
        void* memory = arena_.allocate(sizeof(T), alignof(T));
        T* node = new (memory) T(std::forward<Args>(args)...);
        Nodes.push_back(node);
        return node;
    }

    TProgramNode* Root = nullptr;
    // The compile target: at most one is set; none for a class file.
    TFlashActionScript* TargetBuilder = nullptr;
    TFlashButton* TargetButton = nullptr;
    TFlashPlaceObject* TargetPlacement = nullptr;
    TCondActionsHost* TargetCondActions = nullptr;  // a button's records

    std::vector<TParseTreeNode*> Nodes;  // every node, in the arena
    // Classes whose definition this unit holds: they forget it when the
    // unit goes (an entry of the class table outlives a frame script's unit).
    std::vector<std::pair<TClassInfo*, TIdentTable*>> DefinedClasses;
    std::vector<std::unique_ptr<TIdentTable>> Tables;
    TConstantPool ConstantPool;

private:
    std::pmr::monotonic_buffer_resource arena_;
};
