// The list library: links kept consistent in both directions through
// inserts and deletes at both ends, iterator moves, element copies, shared
// blocks of pointer lists, and the documented precondition reports.
#include "EngineSource/ll.h"
#include "support/Faults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace {

int valueOf(void* pData) { return pData != nullptr ? *static_cast<int*>(pData) : -1; }

class ListTest : public ::testing::Test {
protected:
    void SetUp() override { ll_CreateList(&m_list, ll_kDataList); }
    void TearDown() override { ll_DestroyList(&m_list); }

    void add(std::initializer_list<int> values)
    {
        for (int n : values)
            ll_AddTail(&m_list, &n, sizeof n);
    }

    // The values walked forwards; checks the backward links, the count and
    // that no operation left bInLock set.
    std::vector<int> values()
    {
        std::vector<int> forward;
        std::vector<ll_Link*> links, backward;
        ll_Iterator it;
        ll_CreateIterator(&it, &m_list);
        for (void* p = ll_First(&it); p != nullptr; p = ll_Next(&it)) {
            forward.push_back(valueOf(p));
            links.push_back(it.pCurrent);
        }
        for (ll_Link* pLink = m_list.pTail; pLink != nullptr; pLink = pLink->pPrev)
            backward.push_back(pLink);
        std::reverse(backward.begin(), backward.end());
        EXPECT_EQ(links, backward);
        EXPECT_EQ(m_list.nCount, static_cast<int32_t>(forward.size()));
        EXPECT_EQ(m_list.bInLock, 0);
        return forward;
    }

    ll_List m_list;
};

TEST_F(ListTest, WalksStopAtTheEnds)
{
    ll_Iterator it;
    ll_CreateIterator(&it, &m_list);
    EXPECT_EQ(ll_First(&it), nullptr);
    EXPECT_EQ(it.pCurrent, nullptr);
    EXPECT_EQ(ll_Next(&it), nullptr);
    EXPECT_EQ(ll_IsEmpty(&m_list), 1);
    add({1, 2, 3});
    EXPECT_EQ(ll_IsEmpty(&m_list), 0);
    EXPECT_EQ(valueOf(ll_Last(&it)), 3);
    EXPECT_EQ(ll_Next(&it), nullptr);
    EXPECT_EQ(it.pCurrent, m_list.pTail);
    // The iterator stayed on the last link, which is deleted; it moves back.
    EXPECT_EQ(valueOf(ll_DeleteCurrent(&it)), 2);
    EXPECT_EQ(valueOf(ll_First(&it)), 1);
    EXPECT_EQ(valueOf(ll_DeleteCurrent(&it)), 2);
    EXPECT_EQ(values(), std::vector<int>{2});
    EXPECT_EQ(ll_DeleteCurrent(&it), nullptr);
    EXPECT_EQ(m_list.pHead, nullptr);
    EXPECT_EQ(m_list.pTail, nullptr);
    EXPECT_EQ(values(), std::vector<int>{});
    ll_DestroyIterator(&it);
    EXPECT_EQ(it.pList, nullptr);
}

TEST_F(ListTest, InsertsAroundTheCurrentLinkWithoutMoving)
{
    ll_Iterator it;
    ll_CreateIterator(&it, &m_list);
    int n = 5;
    EXPECT_EQ(ll_Insert(&it, ll_kAfter, &n, sizeof n), nullptr);
    EXPECT_EQ(values(), std::vector<int>{5});
    EXPECT_EQ(valueOf(ll_First(&it)), 5);
    for (int nValue : {1, 2}) {
        n = nValue;
        EXPECT_EQ(valueOf(ll_Insert(&it, ll_kBefore, &n, sizeof n)), 5);
    }
    for (int nValue : {9, 8}) {
        n = nValue;
        EXPECT_EQ(valueOf(ll_Insert(&it, ll_kAfter, &n, sizeof n)), 5);
    }
    EXPECT_EQ(values(), (std::vector<int>{1, 2, 5, 8, 9}));
    ll_Last(&it);
    n = 10;
    ll_Insert(&it, ll_kAfter, &n, sizeof n);
    ll_First(&it);
    n = 0;
    ll_Insert(&it, ll_kBefore, &n, sizeof n);
    EXPECT_EQ(values(), (std::vector<int>{0, 1, 2, 5, 8, 9, 10}));
    EXPECT_EQ(valueOf(ll_Next(&it)), 2);
    EXPECT_EQ(valueOf(ll_DeleteCurrent(&it)), 5);
    EXPECT_EQ(values(), (std::vector<int>{0, 1, 5, 8, 9, 10}));
}

TEST_F(ListTest, AnIteratorWithoutLinkNeverDropsExistingLinks)
{
    ScopedAssertCapture asserts;
    ll_Iterator it;
    ll_CreateIterator(&it, &m_list);
    add({1, 2});
    int n = 3;
    EXPECT_EQ(ll_Insert(&it, ll_kAfter, &n, sizeof n), nullptr);
    n = 0;
    ll_Insert(&it, ll_kBefore, &n, sizeof n);
    EXPECT_EQ(values(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(asserts.texts(), (std::vector<std::string>{"ll_IsEmpty( pIt->pList )", "ll_IsEmpty( pIt->pList )"}));
}

TEST_F(ListTest, StoresCopiesOfTheCallersBytes)
{
    char record[202];
    memset(record, 'a', sizeof record);
    ll_AddTail(&m_list, record, sizeof record);
    memset(record, 'b', sizeof record);
    ll_Iterator it;
    ll_CreateIterator(&it, &m_list);
    const char* pStored = static_cast<const char*>(ll_First(&it));
    EXPECT_EQ(std::string(pStored, 202), std::string(202, 'a'));
}

TEST_F(ListTest, PointerListsShareBlocksUntilTheLastLinkGoes)
{
    ll_List other;
    ll_CreateList(&other, ll_kPointerList);
    ll_List third;
    ll_CreateList(&third, ll_kPointerList);
    int* pShared = static_cast<int*>(ll_alloc(sizeof(int)));
    *pShared = 42;
    ll_Iterator itOther, itThird;
    ll_CreateIterator(&itOther, &other);
    ll_CreateIterator(&itThird, &third);
    ll_Insert(&itOther, ll_kAfter, pShared, sizeof(int));
    ll_Insert(&itThird, ll_kAfter, pShared, sizeof(int));
    ll_Free(pShared);    // still linked twice: stays
    int nLocal = 7;
    ll_AddTail(&other, &nLocal, sizeof nLocal);    // copied, not adopted
    EXPECT_EQ(ll_First(&itOther), pShared);
    ll_DeleteCurrent(&itOther);
    EXPECT_NE(ll_First(&itOther), &nLocal);
    EXPECT_EQ(valueOf(ll_First(&itThird)), 42);
    ll_DestroyList(&third);    // the last link frees the block
    ll_DestroyList(&other);
    EXPECT_EQ(third.pHead, nullptr);
    EXPECT_EQ(third.nCount, 0);
}

TEST_F(ListTest, ReportsBrokenPreconditionsAndLinksNothing)
{
    ScopedAssertCapture asserts;
    int n = 1;
    ll_Iterator it;
    ll_CreateIterator(&it, &m_list);
    ll_Insert(&it, 3, &n, sizeof n);
    ll_Insert(&it, ll_kAfter, nullptr, 4);
    ll_Insert(&it, ll_kAfter, &n, 0);
    ll_AddTail(&m_list, nullptr, 4);
    ll_AddTail(&m_list, &n, 0);
    ll_AddTail(nullptr, &n, sizeof n);
    ll_DeleteCurrent(nullptr);
    ll_First(&it);
    it.pCurrent = nullptr;
    ll_DeleteCurrent(&it);
    ll_Free(nullptr);
    EXPECT_EQ(ll_alloc(-1), nullptr);
    ll_List bad;
    ll_CreateList(&bad, 0);
    ll_AddTail(&bad, &n, sizeof n);
    ll_DestroyList(&bad);
    EXPECT_EQ(asserts.texts(), (std::vector<std::string>{
        "(nType == ll_kAfter) || (nType == ll_kBefore)", "pData != NULL", "nSize != 0", "nSize > 0",
        "os_CheckPointer (pAllocData)", "os_CheckPointer ((void *) pData)", "nSize > 0", "pList != NULL",
        "pIt != NULL", "pIt->pCurrent != NULL", "pData", "nSize > 0",
        "(ListType & ll_kPointerList) || (ListType & ll_kDataList)", "pList->ListType & ll_kDataList"}));
    // The invalid position linked after the (absent) current link; nothing else.
    EXPECT_EQ(values(), std::vector<int>{1});
}

TEST_F(ListTest, ConcurrentAppendsAreAtomic)
{
    auto appender = [this](int nBase) {
        for (int i = 0; i < 1000; ++i)
            add({nBase + i});
    };
    std::thread first(appender, 0);
    std::thread second(appender, 1000);
    first.join();
    second.join();
    std::vector<int> all = values();
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), 2000u);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(all[static_cast<size_t>(i)], i);
}

}  // namespace
