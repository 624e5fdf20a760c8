#include "core/WindowFactoryRegistry.h"

namespace quibra {

namespace {
std::shared_ptr<IPollWindowFactory>& Slot() {
    static std::shared_ptr<IPollWindowFactory> factory;
    return factory;
}
}  // namespace

std::shared_ptr<IPollWindowFactory> WindowFactoryRegistry::Get() {
    return Slot();
}
void WindowFactoryRegistry::Set(std::shared_ptr<IPollWindowFactory> factory) {
    Slot() = std::move(factory);
}

}  // namespace quibra
