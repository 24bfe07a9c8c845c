// Buttons' `on` handlers compiled into condition-action records of the
// movie builder's buttons: the conditions of each handler, key presses, the
// finished records, and failures reported on the movie's message stream.
#include <gtest/gtest.h>

#include "ascompiler/tests/compile_fixture.h"
#include "movie/buttons.h"

using compile_fixture::Dump;
using compile_fixture::NewMovie;

TEST(ButtonActions, HandlersBecomeConditionRecords) {
    auto movie = NewMovie();
    TFlashButton* button = movie->AddButton();
    ASSERT_TRUE(button->CompileActionsFromText("on (release, rollOver) { trace(\"up\"); }\n"
                                               "on (keyPress \"<Enter>\") { stop(); }\n"
                                               "on (dragOut) { x = x + 1; }"))
        << movie->GetMessages();
    auto& tag = static_cast<TSWFDefineButton2&>(button->GetButton());
    ASSERT_EQ(tag.CondActionCount(), 3u);
    EXPECT_EQ(tag.GetCondAction(0).Conditions, kCondOverDownToOverUp | kCondIdleToOverUp);
    EXPECT_EQ(Dump(tag.GetCondAction(0)), "Push 'up'; Trace");
    EXPECT_EQ(tag.GetCondAction(1).Conditions, 0);
    EXPECT_EQ(tag.GetCondAction(1).KeyCode, 13);
    EXPECT_EQ(Dump(tag.GetCondAction(1)), "Stop; Push undefined; Pop");
    EXPECT_EQ(tag.GetCondAction(2).Conditions, kCondOverDownToOutDown);
    EXPECT_EQ(button->FindCondActions(3, false), &tag.GetCondAction(0));

    // Failures: the message on the stream, the records made before it kept.
    struct TFailure {
        const char* source;
        const char* message;
    };
    const TFailure failures[] = {
        {"on (press) { play(); }\non (release) { trace( }", "Parse Error in line: 2 pos: 23: \"}\" was not expected"},
        {"onClipEvent (load) { play(); }", "Invalid event handler type in line 1"},
        {"stop();", "Button and clip actions hold only event handlers at their top level."},
    };
    for (const TFailure& failure : failures) {
        auto other = NewMovie();
        TFlashButton* target = other->AddButton();
        EXPECT_FALSE(target->CompileActionsFromText(failure.source)) << failure.source;
        EXPECT_EQ(other->GetMessages(), failure.message) << failure.source;
    }
    // A DefineButton has no condition records to compile into.
    auto plain = NewMovie();
    EXPECT_FALSE(plain->AddButton(false, false)->CompileActionsFromText("on (release) { stop(); }"));
    EXPECT_NE(plain->GetMessages().find("DefineButton2"), std::string::npos) << plain->GetMessages();
}
