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

// Posts what it is given on its first idle call, then reports no more work.
struct PostingIdleHandler : CIdleHandler {
    BOOL OnIdle() override
    {
        ++calls;
        if (calls == 1) {
            for (UINT message : toPost)
                ::PostThreadMessageW(::GetCurrentThreadId(), message, 0, 0);
        }
        return FALSE;
    }
    std::vector<UINT> toPost;
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

void QuitLater(DWORD threadId, int code)
{
    std::thread([threadId, code] {
        ::Sleep(300);
        ::PostThreadMessageW(threadId, WM_QUIT, code, 0);
    }).detach();
}

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
    QuitLater(::GetCurrentThreadId(), 7);

    EXPECT_EQ(loop.Run(), 7);
    // The consumed message never reaches the older filter.
    EXPECT_EQ(log, (std::vector<int>{2, 2, 1}));
}

TEST(MessageLoop, MouseMovesPaintAndSystemTimerDoNotRearmIdleHandlers)
{
    for (UINT quiet : {static_cast<UINT>(WM_MOUSEMOVE), static_cast<UINT>(WM_NCMOUSEMOVE),
                       static_cast<UINT>(WM_PAINT), 0x0118u}) {
        PostingIdleHandler idle;
        idle.toPost = {quiet};
        CMessageLoop loop;
        loop.AddIdleHandler(&idle);
        QuitLater(::GetCurrentThreadId(), 0);
        loop.Run();
        EXPECT_EQ(idle.calls, 1) << quiet;
    }

    PostingIdleHandler idle;
    idle.toPost = {kPassed};
    CMessageLoop loop;
    loop.AddIdleHandler(&idle);
    QuitLater(::GetCurrentThreadId(), 0);
    loop.Run();
    EXPECT_EQ(idle.calls, 2);
}

TEST(MessageLoop, RemovedFiltersAndHandlersAreNotCalled)
{
    std::vector<int> log;
    RecordingFilter filter(log, 1, 0);
    PostingIdleHandler idle;
    CMessageLoop loop;
    loop.AddMessageFilter(&filter);
    loop.AddIdleHandler(&idle);
    loop.RemoveMessageFilter(&filter);
    loop.RemoveIdleHandler(&idle);
    ::PostThreadMessageW(::GetCurrentThreadId(), kPassed, 0, 0);
    QuitLater(::GetCurrentThreadId(), 0);
    loop.Run();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(idle.calls, 0);
}

TEST(MessageLoop, EveryHandlerRunsEachIdlePeriodExceptOnesRemovedMeanwhile)
{
    CMessageLoop loop;
    RemovingIdleHandler first(loop);
    RemovingIdleHandler second(loop);
    RemovingIdleHandler third(loop);
    first.toRemove = {&first, &second};
    for (RemovingIdleHandler* handler : {&first, &second, &third})
        loop.AddIdleHandler(handler);
    QuitLater(::GetCurrentThreadId(), 0);
    loop.Run();
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
