#pragma once

namespace quibra {

class PollManager;
class PollWorker;

// The process-wide manager and worker that CreateQuibraManager made; the user
// interface reaches the manager, and tests the worker, through them. Null before
// the first CreateQuibraManager and after FreeAllPollingObject.
class PluginObjects {
public:
    static PollManager* CurrentManager();
    static PollWorker* CurrentWorker();
    static void Set(PollManager* manager, PollWorker* worker);
};

}  // namespace quibra
