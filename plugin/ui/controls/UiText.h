#pragma once

#include <QString>

namespace quibra {

// The windows' texts from the loaded message table.
class UiText {
public:
    static QString Msg(int id);
    // A count and the word for the people it counts: "1 person", "3 people".
    static QString People(int count);
};

}  // namespace quibra
