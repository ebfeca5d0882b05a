#pragma once

#include "runtime/CWorkerThread.h"

#include <cstdint>

// The device thread of a CSoundStreamWASAPI render stream. Reads its inputs from the worker's
// parameters (published by StartRender) and keeps the endpoint buffer filled until the stream's
// termination event is set (result 1) or something fails (result 0). Ending by itself, it sets
// the worker's own termination event, which the stream reports through IsTerminated.
int64_t RenderThreadProc(CWorkerContext* context);
