#include "core/PluginObjects.h"

namespace quibra {

namespace {
PollManager* g_manager = nullptr;
PollWorker* g_worker = nullptr;
}  // namespace

PollManager* PluginObjects::CurrentManager() {
    return g_manager;
}
PollWorker* PluginObjects::CurrentWorker() {
    return g_worker;
}

void PluginObjects::Set(PollManager* manager, PollWorker* worker) {
    g_manager = manager;
    g_worker = worker;
}

}  // namespace quibra
