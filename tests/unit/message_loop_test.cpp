#include <gtest/gtest.h>

#include <windows.h>
#include <thread>
#include <vector>

#include "app/launcher_app.h"
#include "ui/toolkit/message_loop.h"

namespace {

const UINT kConsumed = WM_APP + 1;
const UINT kPassed = WM_APP + 2;

struct RecordingFilter : CMessageFilter {
    RecordingFilter(std::vector<int>& log, int name, UINT consumes) : log(log), name(name), consumes(consumes) {}
    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message >= WM_APP)
            log.push_back(name);
        return msg->message == consumes;
    }
    std::vector<int>& log;
    int name;
    UINT consumes;
};

const int kExitCode = 7;
const int kGaveUp = 99;

void PostQuit()
{
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, kExitCode, 0);
}

// Posts what it is given on its first idle call, then WM_QUIT on its call
// number quitOnCall: the loop ends right after what the test looks at.
struct PostingIdleHandler : CIdleHandler {
    BOOL OnIdle() override
    {
        ++calls;
        if (calls == 1) {
            for (UINT message : toPost)
                ::PostThreadMessageW(::GetCurrentThreadId(), message, 0, 0);
        }
        if (calls == quitOnCall)
            PostQuit();
        return FALSE;
    }
    std::vector<UINT> toPost;
    int quitOnCall = 1;
    int calls = 0;
};

// Counts its calls and removes the handlers it is given, itself included.
struct RemovingIdleHandler : CIdleHandler {
    explicit RemovingIdleHandler(CMessageLoop& loop) : loop(loop) {}
    BOOL OnIdle() override
    {
        ++calls;
        for (CIdleHandler* handler : toRemove)
            loop.RemoveIdleHandler(handler);
        return FALSE;
    }
    CMessageLoop& loop;
    std::vector<CIdleHandler*> toRemove;
    int calls = 0;
};

void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD)
{
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, kGaveUp, 0);
}

// Ends a loop that would otherwise wait for ever, with kGaveUp as its code.
class Watchdog {
public:
    Watchdog() : timer_(::SetTimer(nullptr, 0, 10000, GiveUp)) {}
    ~Watchdog() { ::KillTimer(nullptr, timer_); }

private:
    UINT_PTR timer_;
};

TEST(MessageLoop, NewestFilterSeesMessagesFirstAndMayConsumeThem)
{
    std::vector<int> log;
    RecordingFilter older(log, 1, 0);
    RecordingFilter newer(log, 2, kConsumed);
    PostingIdleHandler idle;
    idle.toPost = {kConsumed, kPassed};
    CMessageLoop loop;
    loop.AddMessageFilter(&older);
    loop.AddMessageFilter(&newer);
    loop.AddIdleHandler(&idle);

    EXPECT_EQ(loop.Run(), kExitCode);
    // The consumed message never reaches the older filter.
    EXPECT_EQ(log, (std::vector<int>{2, 2, 1}));
}

TEST(MessageLoop, MouseMovesPaintAndSystemTimerDoNotRearmIdleHandlers)
{
    for (UINT quiet : {static_cast<UINT>(WM_MOUSEMOVE), static_cast<UINT>(WM_NCMOUSEMOVE),
                       static_cast<UINT>(WM_PAINT), 0x0118u})
        EXPECT_FALSE(CMessageLoop::IsIdleMessage(MSG{nullptr, quiet})) << quiet;
    for (UINT busy : {kPassed, static_cast<UINT>(WM_TIMER), static_cast<UINT>(WM_KEYDOWN)})
        EXPECT_TRUE(CMessageLoop::IsIdleMessage(MSG{nullptr, busy})) << busy;
}

TEST(MessageLoop, AnyOtherMessageRunsTheIdleHandlersAgain)
{
    Watchdog watchdog;
    PostingIdleHandler idle;
    idle.toPost = {kPassed};
    idle.quitOnCall = 2;
    CMessageLoop loop;
    loop.AddIdleHandler(&idle);
    EXPECT_EQ(loop.Run(), kExitCode);
    EXPECT_EQ(idle.calls, 2);
}

TEST(MessageLoop, RemovedFiltersAndHandlersAreNotCalled)
{
    std::vector<int> log;
    RecordingFilter filter(log, 1, 0);
    PostingIdleHandler removed;
    PostingIdleHandler kept;
    kept.toPost = {kPassed};
    CMessageLoop loop;
    loop.AddMessageFilter(&filter);
    loop.AddIdleHandler(&removed);
    loop.AddIdleHandler(&kept);
    loop.RemoveMessageFilter(&filter);
    loop.RemoveIdleHandler(&removed);
    EXPECT_EQ(loop.Run(), kExitCode);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(removed.calls, 0);
    EXPECT_EQ(kept.calls, 1);
}

TEST(MessageLoop, EveryHandlerRunsEachIdlePeriodExceptOnesRemovedMeanwhile)
{
    CMessageLoop loop;
    RemovingIdleHandler first(loop);
    RemovingIdleHandler second(loop);
    RemovingIdleHandler third(loop);
    PostingIdleHandler last;
    first.toRemove = {&first, &second};
    for (CIdleHandler* handler : std::vector<CIdleHandler*>{&first, &second, &third, &last})
        loop.AddIdleHandler(handler);
    EXPECT_EQ(loop.Run(), kExitCode);
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 0);
    EXPECT_EQ(third.calls, 1);
}

TEST(AppModule, KeepsOneLoopPerThread)
{
    CMessageLoop mine;
    ASSERT_TRUE(g_app.AddMessageLoop(&mine));
    EXPECT_FALSE(g_app.AddMessageLoop(&mine));
    EXPECT_EQ(g_app.GetMessageLoop(), &mine);

    CMessageLoop* seenElsewhere = &mine;
    std::thread([&] { seenElsewhere = g_app.GetMessageLoop(); }).join();
    EXPECT_EQ(seenElsewhere, nullptr);

    EXPECT_TRUE(g_app.RemoveMessageLoop());
    EXPECT_EQ(g_app.GetMessageLoop(), nullptr);
}

} // namespace
