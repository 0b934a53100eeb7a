#pragma once

namespace morrowlen::tools {

// Sets up the process heap for a tool that builds and drops a great many objects (a compile):
// freed memory is kept for reuse rather than handed back and faulted in again, and the heap's
// first 64 MiB are backed by huge pages where the system offers them on request (a page fault per
// 2 MiB rather than per 4 KiB; faults were a third of a schema compile's time). Call first thing
// in main(), before the heap holds much.
void tuneHeapForCompiling();

} // namespace morrowlen::tools
