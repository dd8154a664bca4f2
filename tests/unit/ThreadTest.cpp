// Recursive mutexes and detached worker threads with the small stacks the
// flash engine asks for.
#include "EngineSource/OSWIN32.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

bool waitFor(const std::atomic<bool>& bFlag)
{
    for (int i = 0; i < 2000 && !bFlag.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return bFlag.load();
}

TEST(MutexTest, OwnerMayLockAgainOthersWaitForTheLastUnlock)
{
    os_Mutex mutex;
    os_CreateMutex(&mutex);
    os_LockMutex(&mutex);
    os_LockMutex(&mutex);
    std::atomic<bool> bTaken{false};
    std::thread other([&] {
        os_LockMutex(&mutex);
        bTaken = true;
        os_UnlockMutex(&mutex);
    });
    os_UnlockMutex(&mutex);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(bTaken.load());
    os_UnlockMutex(&mutex);
    EXPECT_TRUE(waitFor(bTaken));
    other.join();
    os_DeleteMutex(&mutex);
}

struct Worker {
    std::atomic<bool> bDone{false};    // set last, after the fields below
    size_t nStackSize = 0;             // the stack the thread really got
    char szText[32] = {};              // formatted on the worker's stack
};

uint32_t formatOnSmallStack(void* pArg)
{
    Worker* pWorker = static_cast<Worker*>(pArg);
    // Far more stack than the 12000 bytes asked for.
    char szLarge[64 * 1024];
    snprintf(szLarge, sizeof szLarge, "%0*d %.3Lf", 60000, 7, 2.5L);
    gn_StrCopyN(pWorker->szText, szLarge + 59990, static_cast<int>(sizeof pWorker->szText));
    pthread_attr_t attr;
    pthread_getattr_np(pthread_self(), &attr);
    pthread_attr_getstacksize(&attr, &pWorker->nStackSize);
    pthread_attr_destroy(&attr);
    pWorker->bDone = true;
    return 0;
}

TEST(ThreadTest, SmallStacksAreRoundedUpForFormattedOutput)
{
    Worker workers[3];
    const uint32_t kStacks[] = {12000, 18000, 0};
    os_Thread hThread = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(os_CreateThread(&hThread, formatOnSmallStack, kStacks[i], &workers[i]), 1);
        EXPECT_NE(hThread, 0u);
    }
    for (Worker& worker : workers) {
        ASSERT_TRUE(waitFor(worker.bDone));
        EXPECT_STREQ(worker.szText, "0000000007 2.500");
        EXPECT_GE(worker.nStackSize, os_kMinStackSize);
    }
    EXPECT_EQ(os_CreateThread(&hThread, nullptr, 12000, nullptr), 0);
    EXPECT_EQ(hThread, 0u);
}

}  // namespace
