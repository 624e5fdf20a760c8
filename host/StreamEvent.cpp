#include "StreamEvent.h"

const char* StreamEvent::KindName(Kind kind) {
    switch (kind) {
        case Kind::Open:
            return "open";
        case Kind::Close:
            return "close";
        case Kind::Publish:
            return "publish";
        case Kind::Ballot:
            return "ballot";
        case Kind::Resync:
            return "resync";
    }
    return "?";
}
