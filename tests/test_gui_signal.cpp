// Signals on a frozen clock (intervals, counts, handlers that change the signal while it
// is emitted, held connections) and the window events made from input events.
#include "Core/Timer.h"
#include "Gui/Signal.h"
#include "Gui/WindowEvent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

class FnHandler : public SignalHandler {
public:
    explicit FnHandler(std::function<void()> fn, int* deleted = nullptr) : fn_(std::move(fn)), deleted_(deleted) {}
    ~FnHandler() override {
        if (deleted_) ++*deleted_;
    }
    void Call() override { fn_(); }

private:
    std::function<void()> fn_;
    int* deleted_;
};

class SignalTest : public ::testing::Test {
protected:
    void SetUp() override { Timer::FreezeAt(1000); }
    void TearDown() override { Timer::Freeze(false); }
    void At(u64 time) { Timer::FreezeAt(time); }
    FnHandler* Log(const std::string& name) {
        return new FnHandler([this, name] { calls.push_back(name); });
    }
    std::vector<std::string> calls;
};

TEST_F(SignalTest, IntervalZeroFiresOnEveryEmitInDueOrder) {
    Signal s;
    Connection* a = s.Connect(Log("a"), 0, false);
    At(1001);
    Connection* b = s.Connect(Log("b"), 0, false);
    s.Emit();
    s.Emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "b", "a", "b"}));
    delete a;
    delete b;
    EXPECT_EQ(s.Count(), 0u);
}

TEST_F(SignalTest, IntervalWaitsAndFiresOncePerEmit) {
    Signal s;
    Connection* c = s.Connect(Log("tick"), 100, false);
    At(1099);
    s.Emit();
    EXPECT_TRUE(calls.empty()) << "before connect + 100 ms";
    At(1100);
    s.Emit();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(c->Last(), 1100u);
    EXPECT_EQ(c->Due(), 1200u);
    At(1500);  // far past several intervals: still once per emit
    s.Emit();
    EXPECT_EQ(calls.size(), 2u);
    At(1599);
    s.Emit();
    EXPECT_EQ(calls.size(), 2u) << "never before last + 100";
    At(1600);
    s.Emit();
    EXPECT_EQ(calls.size(), 3u);
    delete c;
}

TEST_F(SignalTest, SetIntervalRefilesFromLastFiring) {
    Signal s;
    Connection* c = s.Connect(Log("x"), 500, false);
    s.SetInterval(c, 20);
    EXPECT_EQ(c->Due(), 1020u);
    At(1020);
    s.Emit();
    EXPECT_EQ(calls.size(), 1u);
    delete c;
}

TEST_F(SignalTest, CountTwoFiresTwiceThenTheSignalDeletesIt) {
    Signal s;
    int deleted = 0;
    int fired = 0;
    ASSERT_TRUE(s.ConnectCounted(new FnHandler([&] { ++fired; }, &deleted), 0, false, 2));
    s.Emit();
    s.Emit();
    EXPECT_EQ(fired, 2);
    EXPECT_EQ(s.Count(), 1u);
    EXPECT_EQ(deleted, 0);
    s.Emit();  // reaches the spent connection
    EXPECT_EQ(fired, 2);
    EXPECT_EQ(s.Count(), 0u);
    EXPECT_EQ(deleted, 1);
}

TEST_F(SignalTest, CountedConnectionsDieWithTheSignalOwnedOnesStayWithTheirOwners) {
    int deleted = 0;
    Connection* owned = nullptr;
    {
        Signal s;
        ASSERT_TRUE(s.ConnectCounted(new FnHandler([] {}, &deleted), 0, false, 5));
        owned = s.Connect(new FnHandler([] {}, &deleted), 0, false);
    }
    EXPECT_EQ(deleted, 1) << "only the counted connection went with the signal";
    ASSERT_NE(owned, nullptr);
    EXPECT_FALSE(owned->IsConnected());
    delete owned;
    EXPECT_EQ(deleted, 2);
}

TEST_F(SignalTest, NullHandlerIsRefused) {
    Signal s;
    EXPECT_EQ(s.Connect(nullptr, 0, false), nullptr);
    EXPECT_FALSE(s.ConnectCounted(nullptr, 0, false, 1));
    EXPECT_EQ(s.Count(), 0u);
}

TEST_F(SignalTest, SelfDisconnectDoesNotStopTheOthers) {
    Signal s;
    int deleted = 0;
    Connection* self = nullptr;
    Connection* first = s.Connect(Log("first"), 0, false);
    self = s.Connect(new FnHandler(
                         [&] {
                             calls.push_back("self");
                             delete self;  // the owner deletes its own connection from its handler
                             self = nullptr;
                         },
                         &deleted),
                     0, false);
    Connection* last = s.Connect(Log("last"), 0, false);
    s.Emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "self", "last"}));
    EXPECT_EQ(deleted, 1) << "the running handler is freed once the emission ends";
    calls.clear();
    s.Emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "last"}));
    delete first;
    delete last;
}

TEST_F(SignalTest, HandlerDisconnectingALaterOneStopsOnlyThatOne) {
    Signal s;
    Connection* later = nullptr;
    Connection* a = s.Connect(new FnHandler([&] {
                                  calls.push_back("a");
                                  s.Disconnect(later);
                              }),
                              0, false);
    later = s.Connect(Log("later"), 0, false);
    Connection* c = s.Connect(Log("c"), 0, false);
    s.Emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "c"}));
    EXPECT_FALSE(later->IsConnected());
    delete later;
    delete a;
    delete c;
}

TEST_F(SignalTest, HeldConnectionMadeDuringEmitWaitsForTheNextOne) {
    Signal s;
    Connection* held = nullptr;
    Connection* unheld = nullptr;
    Connection* maker = s.Connect(new FnHandler([&] {
                                      calls.push_back("maker");
                                      if (!held) held = s.Connect(Log("held"), 0, true);
                                      if (!unheld) unheld = s.Connect(Log("unheld"), 0, false);
                                  }),
                                  0, false);
    s.Emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"maker", "unheld"})) << "a connection without hold may run at once";
    calls.clear();
    s.Emit();
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_NE(std::find(calls.begin(), calls.end(), "held"), calls.end());
    delete maker;
    delete held;
    delete unheld;
}

TEST_F(SignalTest, EachConnectionFiresAtMostOncePerEmitEvenWhenRefiled) {
    Signal s;
    int fired = 0;
    Connection* c = nullptr;
    c = s.Connect(new FnHandler([&] {
                      ++fired;
                      s.SetInterval(c, 0);  // re-filed while fired: still not fired again
                  }),
                  0, false);
    s.Emit();
    EXPECT_EQ(fired, 1);
    delete c;
}

TEST_F(SignalTest, DisconnectAllDuringEmitEndsTheEmission) {
    Signal s;
    int deleted = 0;
    ASSERT_TRUE(s.ConnectCounted(new FnHandler(
                                     [&] {
                                         calls.push_back("clear");
                                         s.DisconnectAll();
                                     },
                                     &deleted),
                                 0, false, -5));
    Connection* other = s.Connect(Log("other"), 5, false);
    At(1005);
    s.Emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"clear"}));
    EXPECT_EQ(deleted, 1);
    EXPECT_FALSE(other->IsConnected());
    delete other;
}

TEST(WindowEvent, MakeWindowEventTable) {
    const struct {
        u32 type;
        u32 code;
    } rows[] = {
        {kEventLeftDown, 6}, {kEventLeftUp, 7}, {kEventLeftDoubleClick, 8}, {kEventRightDown, 9},
        {kEventRightUp, 10}, {kEventRightDoubleClick, 11}, {kEventPointerMove, 0}, {kEventExclusivePointerMove, 0},
        {kEventKeyDown, 12}, {kEventKeyUp, 13}, {kEventCharacter, 0}, {kEventFocusGained, 0}, {77, 0},
    };
    for (const auto& row : rows) {
        EVENT input;
        input.type = row.type;
        input.x = 40;
        input.y = 50;
        input.prevX = 30;
        input.prevY = 20;
        input.key = 30;
        const WindowEvent e = MakeWindowEvent(input);
        EXPECT_EQ(e.code, row.code) << row.type;
        EXPECT_EQ(e.flags, 0u);
        EXPECT_EQ(e.tag, nullptr);
        EXPECT_TRUE(e.name.IsEmpty());
        ASSERT_TRUE(e.payload) << row.type;
        EXPECT_EQ(e.payload.UseCount(), 1u);
        if (row.code == 12 || row.code == 13) {
            EXPECT_EQ(e.ScanCode(), 30u);
            EXPECT_EQ(e.Current(), IntPair());
        } else {
            EXPECT_EQ(e.Previous(), IntPair(30, 20)) << row.type;
            EXPECT_EQ(e.Current(), IntPair(40, 50)) << row.type;
            EXPECT_EQ(e.ScanCode(), 0u);
        }
    }
}

TEST(WindowEvent, CopiesShareThePayload) {
    EVENT input;
    input.type = kEventKeyDown;
    input.key = 30;
    const WindowEvent a = MakeWindowEvent(input);
    {
        WindowEvent b = a;
        EXPECT_EQ(a.payload.UseCount(), 2u);
        EXPECT_EQ(b.ScanCode(), 30u);
    }
    EXPECT_EQ(a.payload.UseCount(), 1u);
    const WindowEvent empty;
    EXPECT_EQ(empty.code, 0u);
    EXPECT_FALSE(empty.payload);
    EXPECT_EQ(empty.Current(), IntPair());
}

TEST(WindowEvent, CodeTables) {
    for (u32 code = 0; code <= 16; ++code) {
        WindowEvent e(code);
        EXPECT_EQ(WindowEvent::IsKey(e), code == 12 || code == 13) << code;
        EXPECT_EQ(WindowEvent::IsListed(e), code >= 3 && code <= 8) << code;
        EXPECT_EQ(WindowEvent::IsHover(e), code >= 3 && code <= 5) << code;
    }
}

class CountingNode : public EventNode {
public:
    bool RecieveEvent(WindowEvent event) override {
        codes.push_back(event.code);
        return result;
    }
    std::vector<u32> codes;
    bool result = true;
};

TEST(WindowEvent, PtrListAndBroadcast) {
    CountingNode a, b;
    PointerList<EventNode> list;
    list.AddUnique(&a);
    list.AddUnique(&b);
    list.AddUnique(&a);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_TRUE(BroadcastEvent(list, WindowEvent(4)));
    b.result = false;
    EXPECT_FALSE(BroadcastEvent(list, WindowEvent(5)));
    EXPECT_EQ(a.codes, (std::vector<u32>{4, 5}));
    EXPECT_EQ(b.codes, (std::vector<u32>{4, 5}));
    list.push_back(&a);
    EXPECT_EQ(list.RemoveAll(&a), 2u);
    EXPECT_EQ(list.RemoveAll(&a), 0u);
    EXPECT_EQ(list.size(), 1u);
}

}  // namespace
