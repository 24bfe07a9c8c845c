#include <gtest/gtest.h>
#include "ascompiler/compile_context.h"
TEST(Smoke, Parses) {
    TCompileContext context;
    std::string src = "var a = 1; function f(x) { return x + 1; } class A extends B {}";
    TMemoryStream s(std::vector<uint8_t>(src.begin(), src.end()));
    try { context.ParseUnit(s); } catch (const Exception& e) { std::printf("%s\n", e.what()); }
    std::string src2 = "var a = 1; function f(x) { return x + 1; } a = f(2) * 3 + -a; on(press){ trace(1); }";
    TMemoryStream s2(std::vector<uint8_t>(src2.begin(), src2.end()));
    auto unit = context.ParseUnit(s2);
    EXPECT_NE(unit->Root, nullptr);
    EXPECT_EQ(unit->Root->Items.size(), 4u);
}
