#pragma once
// Taking back errors an operation raised itself, without touching what the caller had on its list.
#include <cstdint>
#include "foundation/errors/koerror.h"

class KoErrorMark {
public:
    // Remembers how many records the calling thread's list holds now.
    KoErrorMark() : list_(KoErrorKeeper::getErrorList()), count_(list_ ? list_->count : 0) {}
    // True when a record was added since, and the last one has this number.
    bool raisedLast(uint16_t number) const {
        return list_ && list_->count > count_ && list_->errorAt(list_->count - 1)->number == number;
    }
    // Removes and deletes the records added since; a pending memory error is the caller's and stays.
    void dropNew() const {
        while (list_ && list_->count > count_) {
            KoError* e = list_->errorAt(list_->count - 1);
            list_->removeAtIndex(list_->count - 1);
            if (e && !(e->flags & KoError::staticRecord)) delete e;
        }
    }

private:
    KoErrorList* list_;
    uint32_t count_;
};
