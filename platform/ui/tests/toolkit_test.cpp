#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/headless.h"
#include "platform/ui/ui.h"

namespace {

// Records the removal notices it hears.
class TWatcher : public TComponent {
public:
    using TComponent::TComponent;
    std::vector<std::string> Heard;

protected:
    void Notification(TComponent* component, TOperation operation) override {
        Heard.push_back((operation == TOperation::opRemove ? "remove " : "insert ") + component->Name);
    }
};

class TProbe : public TCustomControl {
public:
    explicit TProbe(TComponent* owner) : TCustomControl(owner) {
        HandleMessage(WM_USER + 1, [this](TMessage& m, const TMessageHandler& inherited) {
            Log.push_back("base");
            inherited(m);
        });
        HandleMessage(CM_MOUSEENTER, [this](TMessage&, const TMessageHandler&) { Log.push_back("enter " + Name); });
        HandleMessage(CM_MOUSELEAVE, [this](TMessage&, const TMessageHandler&) { Log.push_back("leave " + Name); });
        HandleMessage(WM_LBUTTONDOWN, [this](TMessage& m, const TMessageHandler&) {
            Log.push_back("down " + Name + " " + std::to_string(LParamX(m.LParam)) + "," +
                          std::to_string(LParamY(m.LParam)));
        });
        HandleMessage(WM_SIZE, [this](TMessage& m, const TMessageHandler&) {
            Log.push_back("size " + std::to_string(LParamX(m.LParam)) + "x" + std::to_string(LParamY(m.LParam)));
        });
    }
    void AddDerivedHandler() {
        HandleMessage(WM_USER + 1, [this](TMessage& m, const TMessageHandler& inherited) {
            Log.push_back("derived");
            inherited(m);
            m.Result = 7;
        });
    }
    void DefaultHandler(TMessage& m) override { Log.push_back("default " + std::to_string(m.Msg)); }
    std::vector<std::string> Log;
    int Paints = 0;
    bool ClientEdge = false;

protected:
    void CreateParams(TCreateParams& params) override {
        if (ClientEdge) params.ExStyle |= WS_EX_CLIENTEDGE;
    }
    void Paint() override {
        ++Paints;
        TBitmap& surface = *PaintSurface();
        surface.ScanLine(0)[0] = 0x42;
    }
};

}  // namespace

TEST(Toolkit, OwnersDestroyWhatTheyOwnAndLinkedComponentsHearOfIt) {
    auto owner = std::make_unique<TWatcher>(nullptr);
    auto* a = new TWatcher(owner.get());
    a->Name = "a";
    auto* b = new TWatcher(owner.get());
    b->Name = "b";
    TWatcher outsider(nullptr);
    outsider.FreeNotification(b);
    ASSERT_EQ(owner->ComponentCount(), 2);
    a->Free();  // an owned component may go first
    EXPECT_EQ(owner->ComponentCount(), 1);
    EXPECT_EQ(owner->Heard, (std::vector<std::string>{"insert ", "insert ", "remove a"}));
    owner.reset();  // b goes with its owner, and the outsider hears it
    EXPECT_EQ(outsider.Heard, (std::vector<std::string>{"remove b"}));
}

TEST(Toolkit, MessagesGoToTheNewestHandlerWhichMayCallTheOneBelow) {
    TProbe probe(nullptr);
    probe.AddDerivedHandler();
    EXPECT_EQ(probe.Perform(WM_USER + 1), 7);
    EXPECT_EQ(probe.Log, (std::vector<std::string>{"derived", "base", "default 1025"}));
    probe.Log.clear();
    probe.Perform(WM_USER + 9);
    EXPECT_EQ(probe.Log, (std::vector<std::string>{"default 1033"}));
}

TEST(Toolkit, PostedMessagesArriveOnTheLoopAndThoseForGoneWindowsAreDropped) {
    TProbe probe(nullptr);
    probe.SetBounds(0, 0, 40, 30);
    const HWND handle = probe.Handle();
    probe.Log.clear();
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i)
        workers.emplace_back([handle] { ASSERT_TRUE(Application().PostMessage(handle, WM_USER + 5)); });
    for (auto& w : workers) w.join();
    EXPECT_TRUE(probe.Log.empty());  // nothing runs on the posting threads
    Application().ProcessMessages();
    EXPECT_EQ(std::count(probe.Log.begin(), probe.Log.end(), "default 1029"), 4);

    auto gone = std::make_unique<TProbe>(nullptr);
    const HWND goneHandle = gone->Handle();
    ASSERT_TRUE(Application().PostMessage(goneHandle, WM_USER + 5));
    gone.reset();
    Application().ProcessMessages();  // no delivery to freed memory
    EXPECT_FALSE(Application().PostMessage(goneHandle, WM_USER + 5));
}

TEST(Toolkit, TimersFireFromTheLoopOnThePluginsClock) {
    THeadlessBackend* headless = HeadlessBackend();
    ASSERT_NE(headless, nullptr) << "tests run on the headless plugin";
    TComponent owner(nullptr);
    auto* timer = new TTimer(&owner);
    timer->SetInterval(210);
    int ticks = 0;
    timer->OnTimer = [&](TComponent*) { ++ticks; };
    headless->AdvanceTime(200);
    Application().ProcessMessages();
    EXPECT_EQ(ticks, 0);
    headless->AdvanceTime(10);
    Application().ProcessMessages();
    EXPECT_EQ(ticks, 1);
    Application().HandleMessage();  // waits (on the headless clock) for the next tick
    EXPECT_EQ(ticks, 2);
    timer->SetEnabled(false);
    headless->AdvanceTime(1000);
    Application().ProcessMessages();
    EXPECT_EQ(ticks, 2);
    // A timer whose handler frees it stops cleanly.
    timer->SetEnabled(true);
    timer->OnTimer = [&](TComponent* sender) {
        ++ticks;
        static_cast<TTimer*>(sender)->Free();
    };
    headless->AdvanceTime(210);
    Application().ProcessMessages();
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(Toolkit, InvalidWindowsPaintOnceOnTheNextPass) {
    TProbe top(nullptr);
    top.SetBounds(0, 0, 100, 80);
    EXPECT_FALSE(top.HandleAllocated());
    top.Invalidate();
    Application().ProcessMessages();
    EXPECT_EQ(top.Paints, 0);  // no window, no painting
    top.Handle();
    Application().ProcessMessages();
    EXPECT_EQ(top.Paints, 1);
    Application().ProcessMessages();
    EXPECT_EQ(top.Paints, 1);
    top.Invalidate();
    top.Invalidate();
    top.Update();
    EXPECT_EQ(top.Paints, 2);
    auto* window = static_cast<THeadlessWindow*>(top.NativeWindow());
    EXPECT_EQ(window->Surface().Width(), 100);
    EXPECT_EQ(window->Surface().ScanLine(0)[0], 0x42);
}

TEST(Toolkit, BordersAndScrollBarsTakeTheirShareOfTheClientArea) {
    TProbe probe(nullptr);
    probe.ClientEdge = true;
    probe.SetBounds(0, 0, 200, 100);
    probe.Handle();
    EXPECT_EQ(probe.ClientWidth(), 196);
    probe.ShowScrollBar(SB_VERT, true);
    EXPECT_EQ(probe.ClientWidth(), 196 - 17);
    EXPECT_EQ(probe.Log.back(), "size 179x96");
    probe.SetScrollInfo(SB_HORZ, 0, 65535, 1000, 70000);
    EXPECT_EQ(probe.GetScrollInfo(SB_HORZ).Position, 65535 - 999);  // the page stays inside the range
    auto* window = static_cast<THeadlessWindow*>(probe.NativeWindow());
    EXPECT_TRUE(window->Bar(SB_VERT).Shown);
    EXPECT_EQ(window->Bar(SB_HORZ).Position, 65535 - 999);
}

TEST(Toolkit, InjectedMouseInputReachesTheControlUnderItWithEnterLeaveAndCursor) {
    TProbe top(nullptr);
    top.Name = "top";
    top.SetBounds(0, 0, 300, 200);
    TProbe child(nullptr);
    child.Name = "child";
    child.SetBounds(50, 40, 100, 80);
    child.SetCursor(crCross);
    child.SetParent(&top);
    top.Handle();
    ASSERT_TRUE(child.HandleAllocated());
    Application().MouseInput(top, WM_LBUTTONDOWN, 60, 45);
    Application().MouseInput(top, WM_LBUTTONDOWN, 10, 10);
    std::erase_if(child.Log, [](const std::string& line) { return line.starts_with("default"); });
    EXPECT_EQ(child.Log, (std::vector<std::string>{"enter child", "down child 10,5", "leave child"}));
    EXPECT_EQ(static_cast<THeadlessWindow*>(child.NativeWindow())->Cursor(), crCross);
    child.SetParent(nullptr);
    EXPECT_FALSE(child.HandleAllocated());
}
