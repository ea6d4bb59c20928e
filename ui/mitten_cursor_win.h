#pragma once
// The mitten cursor over snow that can be picked up, drawn for the DPI of the
// monitor under the pointer and kept until exit.
#include <windows.h>

namespace kui {

// Variant 0 the open mitten, 1 the closed one. The system hand when drawing
// fails (logged). Main thread only.
HCURSOR mittenCursor(int variant);

}  // namespace kui
