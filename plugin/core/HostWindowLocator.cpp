#include "core/HostWindowLocator.h"

#include <QApplication>
#include <QWidget>
#include <cstdint>

namespace quibra {

QWidget* HostWindowLocator::Live(const QWidget* candidate) {
    if (candidate == nullptr ||
        qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return nullptr;
    // Compare addresses only: a stale pointer is never dereferenced.
    for (QWidget* widget : QApplication::allWidgets())
        if (widget == candidate) return widget;
    return nullptr;
}

QWidget* HostWindowLocator::Find(const std::wstring& decimalAddress) {
    if (decimalAddress.empty() || decimalAddress.size() > 20) return nullptr;
    uint64_t value = 0;
    for (wchar_t c : decimalAddress) {
        if (c < L'0' || c > L'9') return nullptr;
        const uint64_t digit = static_cast<uint64_t>(c - L'0');
        if (value > (UINT64_MAX - digit) / 10) return nullptr;
        value = value * 10 + digit;
    }
    return Live(reinterpret_cast<const QWidget*>(static_cast<uintptr_t>(value)));
}

}  // namespace quibra
