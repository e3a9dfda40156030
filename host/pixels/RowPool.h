// A small persistent pool of worker threads for the row-parallel pixel services, so that a call
// does not pay for starting and joining threads.
#pragma once

namespace quillstreak::host::detail {

/// Runs run(context, k) once for every k in [0, count), on the calling thread and at most
/// `helpers` of the pool's workers, and returns when all have finished. Chunks are claimed one at
/// a time in increasing order from a shared counter, so a thread that gets less of its core
/// (another process on it) simply claims fewer chunks. The calling thread always takes part.
/// Called from inside a chunk (nested), or when no worker could be started, every chunk runs on
/// the calling thread in order. Safe to call from several threads at once. `run` must not throw.
void RunChunks(unsigned count, unsigned helpers, void (*run)(void* context, unsigned chunk),
               void* context);

/// Worker threads of the pool (started on first use; hardware concurrency - 1, at most 63).
unsigned PoolWorkers();

}  // namespace quillstreak::host::detail
