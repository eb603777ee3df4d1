#include "hostsupport/list.h"

#include <gtest/gtest.h>

#include <vector>

#include "heap_balance.h"
#include "hostsupport/memory.h"
#include "platform/emul/control.h"

using hostsupport::Delete;
using hostsupport::New;
using hostsupport_test::HeapBalance;

namespace {

int destroyedCount = 0;

template <class Base>
class Numbered : public Base {
public:
    explicit Numbered(int n) : number(n) {}
    ~Numbered() override { ++destroyedCount; }
    int number;
};

template <class List, class Base>
struct Kind {
    using ListType = List;
    using BaseType = Base;
    using Element = Numbered<Base>;
};

template <class K>
class ListTest : public ::testing::Test {
protected:
    using List = typename K::ListType;
    using Base = typename K::BaseType;
    using Element = typename K::Element;

    void SetUp() override { destroyedCount = 0; }
    void TearDown() override { EXPECT_TRUE(emu::TakeMisuseReports().empty()); }

    static Element* Make(int n) { return New<Element>(n); }

    static void Fill(List& list, std::initializer_list<int> numbers)
    {
        for (int n : numbers)
            ASSERT_TRUE(list.Append(Make(n)));
    }

    static std::vector<int> Walk(List& list)
    {
        std::vector<int> seen;
        Base* element = nullptr;
        for (bool more = list.First(&element); more; more = list.Next(&element))
            seen.push_back(static_cast<Element*>(element)->number);
        EXPECT_EQ(element, nullptr);
        return seen;
    }

    static int NumberAt(Base* element) { return static_cast<Element*>(element)->number; }
};

using Kinds = ::testing::Types<Kind<CList, CListElem>, Kind<CBList, CBListElem>>;
TYPED_TEST_SUITE(ListTest, Kinds);

TYPED_TEST(ListTest, KeepsAppendOrder)
{
    typename TestFixture::List list;
    EXPECT_EQ(this->Walk(list), std::vector<int>{});
    this->Fill(list, {1, 2, 3});
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(this->Walk(list), (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(list.Append(nullptr));
    EXPECT_EQ(list.Count(), 3);
}

TYPED_TEST(ListTest, CursorStaysAtTheEnd)
{
    typename TestFixture::List list;
    typename TestFixture::Base* element = nullptr;
    EXPECT_FALSE(list.Next(&element));
    this->Fill(list, {1});
    EXPECT_FALSE(list.Current(&element));
    ASSERT_TRUE(list.First(&element));
    EXPECT_EQ(this->NumberAt(element), 1);
    ASSERT_TRUE(list.Current(&element));
    EXPECT_EQ(this->NumberAt(element), 1);
    EXPECT_FALSE(list.Next(&element));
    EXPECT_EQ(element, nullptr);
    EXPECT_FALSE(list.Next(&element));
    EXPECT_FALSE(list.Current(nullptr));
}

TYPED_TEST(ListTest, RemoveCurrentInTheMiddleLeavesCursorOnTheFollower)
{
    typename TestFixture::List list;
    this->Fill(list, {1, 2, 3, 4, 5});
    typename TestFixture::Base* element = nullptr;
    list.First(&element);
    list.Next(&element);
    list.Next(&element);
    typename TestFixture::Base* removed = element;
    ASSERT_EQ(this->NumberAt(removed), 3);
    list.RemoveCurrent();
    EXPECT_EQ(destroyedCount, 0);
    ASSERT_TRUE(list.Current(&element));
    EXPECT_EQ(this->NumberAt(element), 4);
    ASSERT_TRUE(list.Next(&element));
    EXPECT_EQ(this->NumberAt(element), 5);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(this->Walk(list), (std::vector<int>{1, 2, 4, 5}));
    Delete(removed);
    EXPECT_EQ(destroyedCount, 1);
}

TYPED_TEST(ListTest, RemoveCurrentAtTheEndMovesTheTail)
{
    typename TestFixture::List list;
    this->Fill(list, {1, 2, 3});
    typename TestFixture::Base* element = nullptr;
    list.First(&element);
    list.Next(&element);
    list.Next(&element);
    typename TestFixture::Base* removed = element;
    list.RemoveCurrent();
    EXPECT_FALSE(list.Current(&element));
    EXPECT_EQ(element, nullptr);
    list.RemoveCurrent();
    EXPECT_EQ(list.Count(), 2);
    this->Fill(list, {9});
    EXPECT_EQ(this->Walk(list), (std::vector<int>{1, 2, 9}));
    Delete(removed);
}

TYPED_TEST(ListTest, RemoveCurrentAtTheFrontMovesTheHead)
{
    typename TestFixture::List list;
    this->Fill(list, {1, 2});
    typename TestFixture::Base* element = nullptr;
    list.First(&element);
    typename TestFixture::Base* first = element;
    list.RemoveCurrent();
    ASSERT_TRUE(list.Current(&element));
    typename TestFixture::Base* second = element;
    EXPECT_EQ(this->NumberAt(second), 2);
    list.RemoveCurrent();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(this->Walk(list), std::vector<int>{});
    this->Fill(list, {7});
    EXPECT_EQ(this->Walk(list), std::vector<int>{7});
    Delete(first);
    Delete(second);
}

TYPED_TEST(ListTest, DroppingEntriesDuringAWalk)
{
    HeapBalance heap;
    {
        typename TestFixture::List list;
        this->Fill(list, {1, 2, 3, 4, 5, 6, 7});
        typename TestFixture::Base* element = nullptr;
        bool more = list.First(&element);
        while (more) {
            if (this->NumberAt(element) % 2 == 1 || this->NumberAt(element) == 6) {
                list.RemoveCurrent();
                Delete(element);
                more = list.Current(&element);
            } else {
                more = list.Next(&element);
            }
        }
        EXPECT_EQ(destroyedCount, 5);
        EXPECT_EQ(this->Walk(list), (std::vector<int>{2, 4}));
        EXPECT_EQ(list.Count(), 2);
    }
    EXPECT_EQ(heap.Change(), 0);
}

TYPED_TEST(ListTest, ClearDestroysEveryElement)
{
    HeapBalance heap;
    typename TestFixture::List list;
    this->Fill(list, {1, 2, 3, 4});
    EXPECT_EQ(heap.Change(), 4);
    list.Clear();
    EXPECT_EQ(destroyedCount, 4);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(heap.Change(), 0);
    typename TestFixture::Base* element = nullptr;
    EXPECT_FALSE(list.Current(&element));
    EXPECT_FALSE(list.First(&element));
    this->Fill(list, {5});
    EXPECT_EQ(this->Walk(list), std::vector<int>{5});
}

TYPED_TEST(ListTest, DestructionClears)
{
    HeapBalance heap;
    using List = typename TestFixture::List;
    List* list = New<List>();
    ASSERT_NE(list, nullptr);
    this->Fill(*list, {1, 2, 3});
    Delete(list);
    EXPECT_EQ(destroyedCount, 3);
    EXPECT_EQ(heap.Change(), 0);
}

} // namespace
