#include "foundation/containers/kolist.h"

KoNode::KoNode() : next(nullptr) {}

KoNode::~KoNode() = default;

KoNode* KoNode::getNext() const {
    return next;
}

KoList::KoList() : tail(nullptr), count(0), current(nullptr) {}

KoList::~KoList() = default;

void KoList::insert(KoNode* node) {
    if (!node) return;
    if (tail) {
        node->next = tail->next;
        tail->next = node;
    } else {
        node->next = node;
        tail = node;
    }
    ++count;
}

void KoList::append(KoNode* node) {
    if (!node) return;
    insert(node);
    tail = node;
}

void KoList::insertAtPos(KoNode* node, uint32_t pos) {
    if (!node) return;
    if (pos == 0)
        insert(node);
    else if (pos >= count)
        append(node);
    else {
        KoNode* before = tail->next;
        for (uint32_t i = 1; i < pos; ++i)
            before = before->next;
        node->next = before->next;
        before->next = node;
        ++count;
    }
}

void KoList::unlink(KoNode* node) {
    if (!node || !tail) return;
    // Find the predecessor; a node that is not in the ring is never found within count steps.
    KoNode* before = tail;
    uint32_t steps = 0;
    while (before->next != node) {
        before = before->next;
        if (++steps >= count) return;
    }
    if (node == before) {
        tail = nullptr;
    } else {
        before->next = node->next;
        if (node == tail) tail = before;
    }
    node->next = nullptr;
    --count;
    if (current == node) current = nullptr;
}

void KoList::deleteNodes() {
    while (tail) {
        KoNode* first = tail->next;
        unlink(first);
        delete first;
    }
}

KoNode* KoList::getLastNode() {
    current = tail;
    return tail;
}

KoNode* KoList::getFirstNode() {
    current = tail ? tail->next : nullptr;
    return current;
}

KoNode* KoList::getNextNode() {
    current = (current && current != tail) ? current->next : nullptr;
    return current;
}

KoNode* KoList::getNodeAtPos(uint32_t pos) {
    if (!tail || pos >= count) {
        current = nullptr;
        return nullptr;
    }
    KoNode* node = tail->next;
    for (uint32_t i = 0; i < pos; ++i)
        node = node->next;
    current = node;
    return node;
}

KoNode* KoList::removeFirstNode() {
    if (!tail) return nullptr;
    KoNode* first = tail->next;
    unlink(first);
    return first;
}

KoNode* KoList::removeLastNode() {
    if (!tail) return nullptr;
    KoNode* last = tail;
    unlink(last);
    return last;
}

void KoList::moveLastNodeToPos(uint32_t pos) {
    KoNode* last = removeLastNode();
    if (last) insertAtPos(last, pos);
}

uint32_t KoList::getCount() const {
    return count;
}
