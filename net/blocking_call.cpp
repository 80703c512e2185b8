#include "net/blocking_call.h"

#include <condition_variable>
#include <mutex>
#include <thread>

struct CBlockingCall::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    std::function<void()> job;
    bool quit = false;
    UniqueHandle done{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};

    static void Serve(std::shared_ptr<Worker> self)
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(self->mutex);
                self->wake.wait(lock, [&self] { return self->job || self->quit; });
                if (!self->job)
                    return;
                job.swap(self->job);
            }
            job();
            ::SetEvent(self->done.Get());
        }
    }
};

CBlockingCall::CBlockingCall() : interrupted_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CBlockingCall::~CBlockingCall()
{
    Abandon();
}

CBlockingCall::Outcome CBlockingCall::Run(std::function<void()> call, DWORD timeoutMs)
{
    if (::WaitForSingleObject(interrupted_.Get(), 0) == WAIT_OBJECT_0)
        return Outcome::Interrupted;
    if (!worker_) {
        worker_ = std::make_shared<Worker>();
        std::thread(&Worker::Serve, worker_).detach();
    }
    {
        std::lock_guard<std::mutex> lock(worker_->mutex);
        worker_->job = std::move(call);
    }
    worker_->wake.notify_one();

    HANDLE waits[] = {worker_->done.Get(), interrupted_.Get()};
    DWORD signalled = ::WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
    if (signalled == WAIT_OBJECT_0)
        return Outcome::Done;
    Abandon();
    return signalled == WAIT_OBJECT_0 + 1 ? Outcome::Interrupted : Outcome::Expired;
}

void CBlockingCall::Interrupt()
{
    ::SetEvent(interrupted_.Get());
}

void CBlockingCall::Rearm()
{
    ::ResetEvent(interrupted_.Get());
}

void CBlockingCall::Abandon()
{
    if (!worker_)
        return;
    {
        std::lock_guard<std::mutex> lock(worker_->mutex);
        worker_->quit = true;
    }
    worker_->wake.notify_one();
    worker_.reset();
}
