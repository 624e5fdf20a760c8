#include "core/ShowMessageBox.h"

#include <mutex>
#include <utility>

#include "WenMessageBox.h"

namespace quibra {

namespace {

std::mutex& HookLock() {
    static std::mutex lock;
    return lock;
}

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

}  // namespace

int ShowMessageBox(std::wstring text, int value) {
    MessageBoxHook hook;
    {
        std::lock_guard<std::mutex> guard(HookLock());
        hook = Hook();
    }
    if (hook) return hook(text, value);
    return WenShowMessageBox(text.c_str(), value, 0, 0, 0);
}

void SetMessageBoxHookForTesting(MessageBoxHook hook) {
    std::lock_guard<std::mutex> guard(HookLock());
    Hook() = std::move(hook);
}

}  // namespace quibra
