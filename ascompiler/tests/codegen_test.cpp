// The action sequences that statements, expressions, functions and built-in
// functions compile to, read back through the action classes; the tidy-up
// of finished lists; and the messages of failed compilations.
#include <gtest/gtest.h>

#include "ascompiler/tests/compile_fixture.h"
#include "movie/sprites.h"

using compile_fixture::Dump;
using compile_fixture::NewMovie;

namespace {

// The frame script source compiles to, or "error: <message>".
std::string Compiled(const std::string& source, uint8_t version = 8) {
    auto movie = NewMovie(version);
    TFlashActionScript script(movie.get());
    if (!script.CompileFromString(source)) return "error: " + movie->GetMessages();
    return Dump(script.ActionList());
}

struct TCase {
    const char* source;
    const char* actions;
};

[[maybe_unused]] void ExpectAll(const std::vector<TCase>& cases, uint8_t version = 8) {
    for (const TCase& c : cases) EXPECT_EQ(Compiled(c.source, version), c.actions) << c.source;
}

}  // namespace

TEST(Codegen, Explore) {
    for (const char* s : {"x = y = 1;", "a.b += 1;", "i++;", "x = i++;", "new Array(5);", "a = 3; b = 3.0; c = 3.5; d = -0;"}) {
        std::printf("%s => %s\n", s, Compiled(s).c_str());
    }
}

