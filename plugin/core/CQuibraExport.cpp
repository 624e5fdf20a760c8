#include "quibra/CQuibraExport.h"

#include "core/PluginObjects.h"
#include "core/PollManager.h"
#include "core/PollWorker.h"
#include "core/WindowFactoryRegistry.h"

using quibra::PluginObjects;
using quibra::PollManager;
using quibra::PollWorker;

CQuibraExport& CQuibraExport::operator=(const CQuibraExport&) {
    return *this;
}

IFeedBackNotify* CQuibraExport::CreateQuibraManager(POLLMODE /*mode*/, IPollNotify* notify) {
    // A second call replaces the pointers; the earlier objects stay with the host's
    // earlier FreeAllPollingObject, which it owes for each call.
    auto* manager = new PollManager(quibra::WindowFactoryRegistry::Get());
    auto* worker = new PollWorker();
    PluginObjects::Set(manager, worker);
    manager->SetWorker(worker);
    manager->SetHostNotify(notify);
    worker->SetHostNotify(notify);
    worker->SetManager(manager);
    return manager;
}

void CQuibraExport::FreeAllPollingObject() {
    PollManager* manager = PluginObjects::CurrentManager();
    PollWorker* worker = PluginObjects::CurrentWorker();
    PluginObjects::Set(nullptr, nullptr);
    delete manager;  // the manager (and its windows) always before the worker
    delete worker;
}
