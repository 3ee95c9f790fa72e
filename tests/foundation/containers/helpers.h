#pragma once
// Objects for the container tests: ordered values that count their live instances.
#include <cstdint>
#include "foundation/containers/kolist.h"
#include "foundation/containers/koobject.h"

namespace cotest {

inline int liveItems = 0;

// An ordered value; tag tells apart items that compare equal.
class Item : public KoObject {
public:
    int value;
    int tag;
    Item(int v, int t = 0) : value(v), tag(t) { ++liveItems; }
    ~Item() override { --liveItems; }
    int16_t compare(const KoObject* other) const override {
        int o = static_cast<const Item*>(other)->value;
        return value < o ? -1 : value > o ? 1 : 0;
    }
};

inline int liveNodes = 0;

class Node : public KoNode {
public:
    char name;
    explicit Node(char n) : name(n) { ++liveNodes; }
    ~Node() override { --liveNodes; }
};

} // namespace cotest
