#pragma once

#include <string>

#include "polldata/PollRecord.h"

// Every field of a record on one line, so that a case compares all of them:
// id|title|S or M|id or anon|voters|status|publish|requested status and publish,
// then per choice " [poll id|name|content|post count|voter...]". A status
// without a letter is "-"; publish states read P, U (not published) or "-".
std::wstring RecordFields(const quibra::PollRecord& record);
