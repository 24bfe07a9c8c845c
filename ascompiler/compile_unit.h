// One compilation of one source: its parse tree, the scopes opened while it
// was parsed, and its constant pool. The unit owns all of them.
#pragma once

#include <memory>
#include <vector>

#include "ascompiler/containers.h"
#include "ascompiler/parse_tree.h"

class TFlashActionScript;
class TFlashButton;
class TFlashPlaceObject;

class TCompileUnit {
public:
    TProgramNode* Root = nullptr;
    // The compile target: at most one is set; none for a class file.
    TFlashActionScript* TargetBuilder = nullptr;
    TFlashButton* TargetButton = nullptr;
    TFlashPlaceObject* TargetPlacement = nullptr;

    std::vector<std::unique_ptr<TParseTreeNode>> Nodes;
    std::vector<std::unique_ptr<TIdentTable>> Tables;
    TConstantPool ConstantPool;
};
