#pragma once
#include <cstdint>
#include "foundation/containers/koobject.h"

// A link of a KoList.
class KO_EXPORT KoNode : public KoObject {
public:
    KoNode* next; // the following node of the ring; null while the node is in no list

    KoNode();
    ~KoNode() override;
    KoNode* getNext() const;
};

// A singly linked ring reached through its last node: tail->next is the first node. The list never
// deletes its nodes except in deleteNodes.
class KO_EXPORT KoList : public KoObject {
public:
    KoNode* tail;    // the last node; null when the list is empty
    uint32_t count;  // number of nodes
    KoNode* current; // the node last visited by a positioning operation

    KoList();
    ~KoList() override;
    KoList(const KoList&) = delete;
    KoList& operator=(const KoList&) = delete;

    // Links node in at the front.
    void insert(KoNode* node);
    // Links node in at the end.
    void append(KoNode* node);
    // Links node in so that it becomes the node at pos; pos 0 is the front, pos >= count appends.
    void insertAtPos(KoNode* node, uint32_t pos);
    // Takes node out of the list (its next becomes null); a node that is not in the list is left alone.
    void unlink(KoNode* node);
    // Unlinks and deletes every node.
    void deleteNodes();
    // The last node (null when empty); it becomes current.
    KoNode* getLastNode();
    // The first node (null when empty); it becomes current.
    KoNode* getFirstNode();
    // The node after current, null after the last one; it becomes current.
    KoNode* getNextNode();
    // The node pos steps from the first, null beyond the last; it becomes current.
    KoNode* getNodeAtPos(uint32_t pos);
    // Unlink and return the first / last node; null when empty.
    KoNode* removeFirstNode();
    KoNode* removeLastNode();
    // Moves the last node so that it becomes the node at pos.
    void moveLastNodeToPos(uint32_t pos);
    uint32_t getCount() const;
};
