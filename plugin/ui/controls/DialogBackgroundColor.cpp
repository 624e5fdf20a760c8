#include "ui/controls/DialogBackgroundColor.h"

#include <atomic>

namespace quibra {

namespace {
constexpr uint32_t kWhite = 0x00FFFFFF;
std::atomic<uint32_t> g_colour{kWhite};
}  // namespace

uint32_t DialogBackgroundColor::Get() {
    return g_colour.load(std::memory_order_relaxed);
}

void DialogBackgroundColor::Set(uint32_t value) {
    g_colour.store(value & 0x00FFFFFF, std::memory_order_relaxed);
}

void DialogBackgroundColor::Reset() {
    Set(kWhite);
}

QColor DialogBackgroundColor::ToQColor(uint32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

}  // namespace quibra
