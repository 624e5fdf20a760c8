#pragma once

#include <functional>
#include <string>

namespace quibra {

// The one way the plug-in shows a message box: hands the text to
// WenShowMessageBox of libWenMessageBox.so and returns its answer. Call on the
// user-interface thread; the box is modal.
int ShowMessageBox(std::wstring text, int value);
// `value` of a box that asks Yes or No (No the default), and its answer for Yes.
inline constexpr int kMessageBoxAsk = 1;
inline constexpr int kMessageBoxYes = 0x00004000;

// Replaces the box for tests: while a hook is set, ShowMessageBox calls it
// instead and returns its answer; an empty hook restores the real box.
using MessageBoxHook = std::function<int(const std::wstring& text, int value)>;
void SetMessageBoxHookForTesting(MessageBoxHook hook);

}  // namespace quibra
