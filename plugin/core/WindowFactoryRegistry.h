#pragma once

#include <memory>

#include "core/IPollWindowFactory.h"

namespace quibra {

// Which window factory new managers use: the user interface registers its own;
// tests register a recording one. Null means managers make no windows.
class WindowFactoryRegistry {
public:
    static std::shared_ptr<IPollWindowFactory> Get();
    static void Set(std::shared_ptr<IPollWindowFactory> factory);
};

}  // namespace quibra
