#include <gtest/gtest.h>
#include <string>
#include "foundation/containers/kolist.h"
#include "tests/foundation/containers/helpers.h"

using cotest::liveNodes;
using cotest::Node;

namespace {

// The ring read from the first node, with a check that it closes at the tail after count nodes.
std::string walk(const KoList& l) {
    std::string s;
    if (!l.tail) return s;
    const KoNode* n = l.tail->next;
    for (uint32_t i = 0; i < l.count; ++i) {
        s += static_cast<const Node*>(n)->name;
        if (i + 1 == l.count && n != l.tail) return s + "!not-a-ring";
        n = n->next;
    }
    return s;
}

} // namespace

TEST(KoList, InsertAppendAndInsertAtPos) {
    KoList l;
    Node x('x'), y('y'), z('z');
    l.insert(&x);
    EXPECT_EQ(x.next, &x) << "a single node points to itself";
    l.append(&y);
    l.insertAtPos(&z, 1);
    EXPECT_EQ(walk(l), "xzy");
    EXPECT_EQ(l.removeLastNode(), &y);
    EXPECT_EQ(y.next, nullptr);
    EXPECT_EQ(walk(l), "xz");
    EXPECT_EQ(l.getNodeAtPos(5), nullptr);
    EXPECT_EQ(l.current, nullptr);
    EXPECT_EQ(l.getNodeAtPos(1), &z);
    EXPECT_EQ(l.current, &z);
    EXPECT_EQ(l.getNodeAtPos(2), nullptr) << "one past the last";
}

TEST(KoList, PositionsAtBothEnds) {
    KoList l;
    Node a('a'), b('b'), c('c'), d('d'), e('e');
    l.insertAtPos(&b, 0); // into an empty list
    l.insertAtPos(&d, 1); // = count: append
    l.insertAtPos(&a, 0);
    l.insertAtPos(&e, 99); // beyond the end: append
    l.insertAtPos(&c, 2);
    EXPECT_EQ(walk(l), "abcde");
    EXPECT_EQ(l.tail, &e);
    EXPECT_EQ(l.count, 5u);
    EXPECT_EQ(l.getLastNode(), &e);
    EXPECT_EQ(l.current, &e);
    std::string seen;
    for (KoNode* n = l.getFirstNode(); n; n = l.getNextNode())
        seen += static_cast<Node*>(n)->name;
    EXPECT_EQ(seen, "abcde");
}

TEST(KoList, UnlinkKeepsTheRingWhole) {
    KoList l;
    Node a('a'), b('b'), c('c'), stranger('s');
    l.append(&a);
    l.append(&b);
    l.append(&c);
    l.getNodeAtPos(1);
    l.unlink(&b);
    EXPECT_EQ(walk(l), "ac");
    EXPECT_EQ(l.current, nullptr) << "current was the unlinked node";
    l.unlink(&c);
    EXPECT_EQ(l.tail, &a) << "the predecessor of the tail becomes the tail";
    EXPECT_EQ(walk(l), "a");
    l.unlink(&stranger);
    EXPECT_EQ(l.count, 1u) << "a node that is not in the list changes nothing";
    l.unlink(&a);
    EXPECT_EQ(l.tail, nullptr);
    EXPECT_EQ(l.count, 0u);
    EXPECT_EQ(l.removeFirstNode(), nullptr);
    EXPECT_EQ(l.removeLastNode(), nullptr);
    l.unlink(&a); // empty list: nothing
}

TEST(KoList, MoveLastNodeToPos) {
    KoList l;
    Node a('a'), b('b'), c('c'), d('d');
    for (Node* n : {&a, &b, &c, &d})
        l.append(n);
    l.moveLastNodeToPos(1);
    EXPECT_EQ(walk(l), "adbc");
    l.moveLastNodeToPos(0);
    EXPECT_EQ(walk(l), "cadb");
    l.moveLastNodeToPos(3);
    EXPECT_EQ(walk(l), "cadb");
    EXPECT_EQ(l.removeFirstNode(), &c);
    EXPECT_EQ(walk(l), "adb");
}

TEST(KoList, DeleteNodesDeletesEveryNode) {
    liveNodes = 0;
    KoList l;
    for (char ch = 'a'; ch < 'k'; ++ch)
        l.append(new Node(ch));
    EXPECT_EQ(liveNodes, 10);
    l.deleteNodes();
    EXPECT_EQ(liveNodes, 0);
    EXPECT_EQ(l.count, 0u);
    EXPECT_EQ(l.tail, nullptr);
    l.deleteNodes(); // empty: nothing
}

TEST(KoList, LongListPositionsPastSixteenBits) {
    // A walk counter narrower than the list would wrap around and find the wrong node.
    const uint32_t n = 70000;
    KoList l;
    for (uint32_t i = 0; i < n; ++i)
        l.append(new Node('a' + char(i % 26)));
    KoNode* last = l.getNodeAtPos(n - 1);
    EXPECT_EQ(last, l.tail);
    EXPECT_NE(l.getNodeAtPos(65536), l.getNodeAtPos(0));
    EXPECT_EQ(l.getNodeAtPos(n), nullptr);
    l.deleteNodes();
}
