#include "polldata/PollFileTrace.h"

#include <atomic>

namespace quibra {

namespace {
std::atomic<PollFileTraceSink> g_sink{nullptr};
}  // namespace

void SetPollFileTraceSink(PollFileTraceSink sink) {
    g_sink.store(sink, std::memory_order_relaxed);
}

std::string PollFileTraceLine(int point) {
    // std::to_string of an int is locale-independent.
    return std::string(12, '-') + std::to_string(point) + std::string(11, '-') + "\n";
}

void PollFileTrace(int point) {
    if (PollFileTraceSink sink = g_sink.load(std::memory_order_relaxed))
        sink(PollFileTraceLine(point));
}

}  // namespace quibra
