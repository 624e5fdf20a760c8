#pragma once

// The one export macro: everything else in libQuibra.so is built hidden.
#define QUIBRA_API __attribute__((visibility("default")))
