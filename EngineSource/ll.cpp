// Linked lists over the OS layer's recursive mutexes.
//
// An element block is a small header (reference count, data size) followed
// by the data; callers only see the data pointer and the header is found
// again just before it. The header is padded to the strictest fundamental
// alignment so any record stored in a list is aligned.
//
// Public operations take the list's mutex through ListLock, which also keeps
// bInLock; operations that call other operations (ll_AddTail, ll_DestroyList)
// lock again, which the recursive mutex allows, and ListLock restores the
// outer bInLock when the inner one ends.
#include "EngineSource/ll.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

struct alignas(std::max_align_t) ll_Item {
    uint32_t nRefCount;    // links that point at the block; 32 bits so that
                           // a block shared by many pointer lists never wraps
    int32_t nSize;         // data bytes after the header
};

// Reports a failed precondition with the text that names it.
#define ll_mCheck(bCondition, pszText) \
    do { if (!(bCondition)) os_Assert(pszText, __FILE__, __LINE__); } while (0)

namespace {

class ListLock {
public:
    explicit ListLock(ll_List* pList) : m_pList(pList)
    {
        os_LockMutex(&m_pList->mutex);
        m_bOuter = m_pList->bInLock;
        m_pList->bInLock = 1;
    }
    ~ListLock()
    {
        m_pList->bInLock = m_bOuter;
        os_UnlockMutex(&m_pList->mutex);
    }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;

private:
    ll_List* m_pList;    // the list whose mutex is held
    int32_t m_bOuter;    // bInLock of an enclosing operation of this thread
};

char* dataOf(ll_Item* pItem) { return reinterpret_cast<char*>(pItem) + sizeof(ll_Item); }

ll_Item* itemOf(void* pData) { return reinterpret_cast<ll_Item*>(static_cast<char*>(pData) - sizeof(ll_Item)); }

void* currentData(const ll_Iterator* pIt)
{
    return pIt->pCurrent != nullptr ? dataOf(pIt->pCurrent->pItem) : nullptr;
}

// True when the iterator and its list are there; reports what is missing.
bool iteratorUsable(const ll_Iterator* pIt)
{
    ll_mCheck(pIt != nullptr, "pIt != NULL");
    if (pIt == nullptr)
        return false;
    ll_mCheck(pIt->pList != nullptr, "pIt->pList != NULL");
    return pIt->pList != nullptr;
}

// Links B between A and C (either may be null). The caller holds the lock.
void linkBetween(ll_Iterator* pIt, ll_Link* A, ll_Link* B, ll_Link* C)
{
    ll_List* pList = pIt->pList;
    ll_mCheck(pIt->pList->bInLock, "pIt->pList->bInLock");
    B->pPrev = A;
    B->pNext = C;
    if (A != nullptr) {
        A->pNext = B;
    } else {
        ll_mCheck(pIt->pList->pHead == C, "pIt->pList->pHead == C");
        pList->pHead = B;
    }
    if (C != nullptr) {
        C->pPrev = B;
    } else {
        ll_mCheck(pIt->pList->pTail == A, "pIt->pList->pTail == A");
        pList->pTail = B;
    }
    ++pList->nCount;
}

// Only a pointer list links the caller's own blocks; a list of no known kind
// copies too, as that is the choice that can never touch foreign memory.
bool linksCallerBlocks(const ll_List* pList)
{
    return (pList->ListType & ll_kDataList) == 0 && (pList->ListType & ll_kPointerList) != 0;
}

// Links a new element for pData at the iterator's position (see ll_Insert):
// a copy of nSize bytes, or, when bAdopt, the caller's block from ll_alloc.
// The caller holds the lock.
void linkElement(ll_Iterator* pIt, int nType, const void* pData, int32_t nSize, bool bAdopt)
{
    ll_Item* pItem;
    if (bAdopt) {
        pItem = itemOf(const_cast<void*>(pData));
    } else {
        void* pAllocData = ll_alloc(nSize);
        ll_mCheck(pAllocData != nullptr, "os_CheckPointer (pAllocData)");
        if (pAllocData == nullptr)
            return;
        memcpy(pAllocData, pData, static_cast<size_t>(nSize));
        pItem = itemOf(pAllocData);
    }
    ll_Link* pLink = new (std::nothrow) ll_Link{nullptr, nullptr, pItem};
    ll_mCheck(pLink != nullptr, "os_CheckPointer ((void *)pLink)");
    if (pLink == nullptr) {
        if (!bAdopt)
            ll_Free(dataOf(pItem));
        return;
    }
    ++pItem->nRefCount;

    ll_Link* pCurrent = pIt->pCurrent;
    // Anything but ll_kBefore goes after: "after" is the default place.
    bool bBefore = nType == ll_kBefore;
    if (pCurrent == nullptr) {
        // An iterator without a current link is meant for an empty list; on
        // a list that has links meanwhile, the element goes to the end the
        // position names instead of replacing them.
        ll_mCheck(ll_IsEmpty(pIt->pList), "ll_IsEmpty( pIt->pList )");
        if (bBefore)
            linkBetween(pIt, nullptr, pLink, pIt->pList->pHead);
        else
            linkBetween(pIt, pIt->pList->pTail, pLink, nullptr);
    } else if (bBefore) {
        linkBetween(pIt, pCurrent->pPrev, pLink, pCurrent);
    } else {
        linkBetween(pIt, pCurrent, pLink, pCurrent->pNext);
    }
}

// Moves the iterator to the list's first or last link (pEnd names which).
void* moveToEnd(ll_Iterator* pIt, ll_Link* ll_List::*pEnd)
{
    if (!iteratorUsable(pIt))
        return nullptr;
    ListLock lock(pIt->pList);
    pIt->pCurrent = pIt->pList->*pEnd;
    return currentData(pIt);
}

}  // namespace

void ll_CreateList(ll_List* pList, uint16_t ListType)
{
    ll_mCheck(pList != nullptr, "pList != NULL");
    ll_mCheck((ListType & ll_kPointerList) || (ListType & ll_kDataList),
              "(ListType & ll_kPointerList) || (ListType & ll_kDataList)");
    if (pList == nullptr)
        return;
    pList->pHead = nullptr;
    pList->pTail = nullptr;
    pList->ListType = ListType;
    pList->nCount = 0;
    pList->bInLock = 0;
    os_CreateMutex(&pList->mutex);
}

void ll_DestroyList(ll_List* pList)
{
    ll_mCheck(pList != nullptr, "pList != NULL");
    if (pList == nullptr)
        return;
    {
        ListLock lock(pList);
        ll_Iterator it;
        ll_CreateIterator(&it, pList);
        while (ll_First(&it) != nullptr)
            ll_DeleteCurrent(&it);
        ll_DestroyIterator(&it);
    }
    os_DeleteMutex(&pList->mutex);
}

int ll_IsEmpty(ll_List* pList)
{
    ll_mCheck(pList != nullptr, "pList != NULL");
    if (pList == nullptr)
        return 1;
    ListLock lock(pList);
    return pList->pHead == nullptr ? 1 : 0;
}

void ll_CreateIterator(ll_Iterator* pIt, ll_List* pList)
{
    ll_mCheck(pIt != nullptr, "pIt != NULL");
    ll_mCheck(pList != nullptr, "pList != NULL");
    if (pIt == nullptr)
        return;
    pIt->pList = pList;
    pIt->pCurrent = nullptr;
    if (pList == nullptr)
        return;
    ListLock lock(pList);
    pIt->pCurrent = pList->pHead;
}

void ll_DestroyIterator(ll_Iterator* pIt)
{
    ll_mCheck(pIt != nullptr, "pIt != NULL");
    if (pIt == nullptr)
        return;
    pIt->pList = nullptr;
    pIt->pCurrent = nullptr;
}

void* ll_First(ll_Iterator* pIt) { return moveToEnd(pIt, &ll_List::pHead); }

void* ll_Last(ll_Iterator* pIt) { return moveToEnd(pIt, &ll_List::pTail); }

void* ll_Next(ll_Iterator* pIt)
{
    if (!iteratorUsable(pIt))
        return nullptr;
    ListLock lock(pIt->pList);
    if (pIt->pCurrent == nullptr || pIt->pCurrent->pNext == nullptr)
        return nullptr;
    pIt->pCurrent = pIt->pCurrent->pNext;
    return currentData(pIt);
}

void* ll_Insert(ll_Iterator* pIt, int nType, const void* pData, int32_t nSize)
{
    if (!iteratorUsable(pIt))
        return nullptr;
    ll_mCheck((nType == ll_kAfter) || (nType == ll_kBefore), "(nType == ll_kAfter) || (nType == ll_kBefore)");
    ll_mCheck(pData != nullptr, "pData != NULL");
    ll_mCheck(nSize != 0, "nSize != 0");
    ListLock lock(pIt->pList);
    if (pData != nullptr)
        linkElement(pIt, nType, pData, nSize, linksCallerBlocks(pIt->pList));
    return currentData(pIt);
}

void ll_AddTail(ll_List* pList, const void* pData, int32_t nSize)
{
    ll_mCheck(pList != nullptr, "pList != NULL");
    ll_mCheck(pData != nullptr, "os_CheckPointer ((void *) pData)");
    ll_mCheck(nSize > 0, "nSize > 0");
    if (pList == nullptr || pData == nullptr || nSize <= 0)
        return;
    ll_mCheck(pList->ListType & ll_kDataList, "pList->ListType & ll_kDataList");
    ListLock lock(pList);
    ll_Iterator it;
    ll_CreateIterator(&it, pList);
    ll_Last(&it);
    linkElement(&it, ll_kAfter, pData, nSize, false);
    ll_DestroyIterator(&it);
}

void* ll_DeleteCurrent(ll_Iterator* pIt)
{
    if (!iteratorUsable(pIt))
        return nullptr;
    ll_List* pList = pIt->pList;
    ListLock lock(pList);
    ll_mCheck(pIt->pCurrent != nullptr, "pIt->pCurrent != NULL");
    if (pIt->pCurrent == nullptr)
        return nullptr;
    ll_mCheck(pIt->pList->bInLock, "pIt->pList->bInLock");
    ll_mCheck(pIt->pList->nCount > 0, "pIt->pList->nCount > 0");

    ll_Link* B = pIt->pCurrent;
    ll_Link* A = B->pPrev;
    ll_Link* C = B->pNext;
    if (A != nullptr) {
        A->pNext = C;
    } else {
        ll_mCheck(pIt->pList->pHead == B, "pIt->pList->pHead == B");
        pList->pHead = C;
    }
    if (C != nullptr) {
        C->pPrev = A;
    } else {
        ll_mCheck(pIt->pList->pTail == B, "pIt->pList->pTail == B");
        pList->pTail = A;
    }
    --pList->nCount;
    ll_mCheck(pIt->pList->nCount >= 0, "pIt->pList->nCount >= 0");
    pIt->pCurrent = C != nullptr ? C : A;

    ll_Item* pItem = B->pItem;
    delete B;
    --pItem->nRefCount;
    ll_Free(dataOf(pItem));
    return currentData(pIt);
}

void* ll_alloc(int32_t nSize)
{
    ll_mCheck(nSize > 0, "nSize > 0");
    if (nSize <= 0)
        return nullptr;
    ll_Item* pItem = static_cast<ll_Item*>(malloc(sizeof(ll_Item) + static_cast<size_t>(nSize)));
    if (pItem == nullptr)
        return nullptr;
    pItem->nRefCount = 0;
    pItem->nSize = nSize;
    return dataOf(pItem);
}

void ll_Free(void* pData)
{
    ll_mCheck(pData, "pData");
    if (pData == nullptr)
        return;
    ll_Item* pItem = itemOf(pData);
    if (pItem->nRefCount == 0)
        free(pItem);
}
