#pragma once
// Generate ▸ "&Selected": the selected definitions become one batch for the generator worker, with
// a destination asked for or taken from the options, and an output window that appears when the
// batch starts.

#include "app/KSGeneratorBatch.h"
#include "support/KSString.h"

#include <vector>

class CAppContext;
class CBatchOutputWnd;
class QWidget;

// Queues the batch and answers its window (owned by owner's window tree, hidden until the batch
// starts), or null when nothing was queued: no names, the destination prompt was cancelled, the
// destination is longer than the system allows (the user is told), or the worker refused it.
CBatchOutputWnd* GenerateSelected(QWidget* owner, const std::vector<CKSString>& names, CAppContext& context,
                                  CBatchOptions options = {});
