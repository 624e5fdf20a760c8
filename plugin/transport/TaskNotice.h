#pragma once

#include <memory>
#include <string>

#include "quibra/CWenNode.h"
#include "transport/TaskThread.h"

namespace quibra {

// Window messages a task posts to the worker's message window.
constexpr int TaskDoneMessage = 1124;
constexpr int TaskFailedMessage = 1125;

// One task outcome on its way to the worker's thread. Whoever ends up with it
// frees it, and the task with it, whether it was dispatched or not.
struct TaskNotice {
    int message = TaskDoneMessage;
    std::wstring path;                 // the task's success or failure path
    std::unique_ptr<TaskThread> task;  // the task that posted it
    CWenNode reply;                    // root of the downloaded reply, or empty
};

}  // namespace quibra
