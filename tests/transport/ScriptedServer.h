#pragma once

// The scripted server is shared with the end-to-end tests; it lives in tests/support.
#include "support/ScriptedServer.h"
