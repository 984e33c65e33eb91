// Error streams: counters of reports and, while shown, the reported chains.

#include "ulErr.h"

#include "ulDlist.h"
#include "ulMem.h"

struct ulErrStream {
  ulDlist list;       // chains kept while the alert is set; null when none
  int alert;          // set while a front end shows the stream's errors
  int destroyPending; // the last reference went while the alert was set
  int statusCount;    // Status reports
  int noteCount;      // Note reports
  int warningCount;   // Warning reports
  int errorCount;     // Error reports
  int internalCount;  // Internal Error reports
  int references;     // 1 when created
};

namespace {

int destroyChain(void *chain, void *) {
  ulErrDestroy(static_cast<ulErr *>(chain));
  return 1;
}

void releaseList(ulErrStream *stream) {
  if (stream->list != nullptr) {
    ulDlistDestroyList(stream->list, destroyChain, nullptr);
    stream->list = nullptr;
  }
}

void freeStream(ulErrStream *stream) {
  releaseList(stream);
  ulMemFree(stream);
}

struct IndexWalk {
  int index;
  ulErr *found;
};

int pickIndex(void *chain, void *data) {
  auto *walk = static_cast<IndexWalk *>(data);
  if (walk->index-- == 0) {
    walk->found = static_cast<ulErr *>(chain);
    return 0;
  }
  return 1;
}

} // namespace

ulErrStream *ulErrStreamCreate() {
  auto *s = static_cast<ulErrStream *>(ulMemMalloc(sizeof(ulErrStream), "errorStream"));
  *s = ulErrStream{ulDlistCreate(), 0, 0, 0, 0, 0, 0, 0, 1};
  return s;
}

ulErrStream *ulErrStreamCopy(ulErrStream *stream) {
  if (stream != nullptr)
    ++stream->references;
  return stream;
}

void ulErrStreamDestroy(ulErrStream *stream) {
  if (stream == nullptr || --stream->references > 0)
    return;
  if (stream->alert)
    stream->destroyPending = 1;
  else
    freeStream(stream);
}

void ulErrStreamAdd(ulErrStream *stream, ulErr *chain) {
  if (stream == nullptr || chain == nullptr)
    return;
  if (stream->list == nullptr)
    stream->list = ulDlistCreate();
  ulDlistAddTail(stream->list, ulErrCopy(chain));
  switch (chain->severity) {
  case ulErrSTATUS:
    ++stream->statusCount;
    break;
  case ulErrNOTE:
    ++stream->noteCount;
    break;
  case ulErrWARNING:
    ++stream->warningCount;
    break;
  case ulErrERROR:
    ++stream->errorCount;
    break;
  case ulErrINTERNAL:
    ++stream->internalCount;
    break;
  default: // Fatal and Disabled are not counted
    break;
  }
}

int ulErrStreamCount(ulErrStream *stream) {
  if (stream == nullptr || stream->list == nullptr)
    return 0;
  return ulDlistSize(stream->list);
}

ulErr *ulErrStreamError(ulErrStream *stream, int index) {
  if (index < 0 || index >= ulErrStreamCount(stream))
    return nullptr;
  IndexWalk walk{index, nullptr};
  ulDlistLoop(stream->list, pickIndex, &walk);
  return walk.found;
}

int ulErrStreamGetAlert(ulErrStream *stream) {
  return stream != nullptr ? stream->alert : 0;
}

void ulErrStreamSetAlert(ulErrStream *stream, int flag) {
  if (stream == nullptr)
    return;
  stream->alert = flag;
  if (flag != 0)
    return;
  if (stream->destroyPending)
    freeStream(stream);
  else
    releaseList(stream);
}

int ulErrStreamBaddest(ulErrStream *stream) {
  if (stream == nullptr)
    return ulErrDISABLED;
  if (stream->internalCount > 0)
    return ulErrINTERNAL;
  if (stream->errorCount > 0)
    return ulErrERROR;
  if (stream->warningCount > 0)
    return ulErrWARNING;
  if (stream->noteCount > 0)
    return ulErrNOTE;
  if (stream->statusCount > 0)
    return ulErrSTATUS;
  return ulErrDISABLED;
}

int ulErrStreamSummary(ulErrStream *stream, int *notes, int *warnings, int *errors,
                       int *internals) {
  if (stream == nullptr)
    return 0;
  if (notes != nullptr)
    *notes = stream->noteCount;
  if (warnings != nullptr)
    *warnings = stream->warningCount;
  if (errors != nullptr)
    *errors = stream->errorCount;
  if (internals != nullptr)
    *internals = stream->internalCount;
  return stream->internalCount;
}

int ulErrStreamExitCode(ulErrStream *stream) {
  if (stream == nullptr)
    return 0;
  if (stream->internalCount > 0)
    return 3;
  if (stream->errorCount > 0)
    return 2;
  if (stream->warningCount > 0)
    return 1;
  return 0;
}
