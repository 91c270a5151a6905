#pragma once
// Runs one batch on the generator worker's thread: turns each definition name into a generator,
// runs them side by side on a worker list, waits for them and logs the result.

#include <cstdint>

class CKSGeneratorBatch;
class CKSFileGeneratorFactory;
class CKSLogger;

// The longest a batch may run before its wait gives up (0x0AFFFFFF ms, about 51 hours).
inline constexpr std::uint32_t kBatchTimeoutMilliseconds = 0x0AFFFFFF;

// Runs the batch (nothing for null) with the worker thread's factory and logger. Always true.
// The batch's own stop ends it as the application's stop event does: no further generator is
// created, the running ones end after the block in hand, and the batch is marked stopped.
bool RunBatch(CKSGeneratorBatch* batch, const CKSFileGeneratorFactory& factory, CKSLogger& logger);
