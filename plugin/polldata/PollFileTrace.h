#pragma once

#include <string>
#include <string_view>

namespace quibra {

// The numbered trace lines of the poll file codecs ("------------4-----------\n").
// They carry no data and go nowhere until a sink is installed: this layer has
// no logging of its own, so the user interface hands it Qt's debug channel.
using PollFileTraceSink = void (*)(std::string_view line);

// Replaces the sink; nullptr silences the trace. Set it before readers run:
// the sink is read without a lock.
void SetPollFileTraceSink(PollFileTraceSink sink);
// Twelve hyphens, the point in decimal, eleven hyphens and a line feed.
std::string PollFileTraceLine(int point);
// Writes the line of `point` to the sink, if any.
void PollFileTrace(int point);

}  // namespace quibra
