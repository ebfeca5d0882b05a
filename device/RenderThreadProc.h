#pragma once

#include "runtime/CWorkerThread.h"

#include <cstdint>

// The device thread of a CSoundStreamWASAPI render stream. Reads its inputs from the worker's
// parameters (named in RenderThreadInputs.h, published by StartRender) and keeps the endpoint
// buffer filled until the stream's termination event is set (result 1) or something fails
// (result 0). A missing or unusable input ends it before it touches the client, recorded under
// the input's name in the stream's failure record (only traced when that record is the one
// missing). Ending by itself, it sets the worker's own termination event, which the stream
// reports through IsTerminated.
int64_t RenderThreadProc(CWorkerContext* context);
