#pragma once
// An SQLite file layer over the system's: a repository file and its journal collect the pages
// SQLite writes one after the other and hand them to the system in runs of up to 64 KiB.
//
// A commit writes every changed page with a write of its own. On ext4, writing the 8.6 MB of a
// schema's new repository 4 KiB at a time and syncing it took about 30 ms, in runs of 64 KiB
// 13-18 ms (the sync itself is faster: the file system gets larger pieces). What is collected
// reaches the file before SQLite syncs, reads, sizes, truncates, locks or unlocks it and before it
// is closed, so SQLite finds the file as if each page had been written at once; its guarantees (the
// journal is durable before the file is touched, the file before the journal goes) hold as they are.

namespace morrowlen::repo {

// The name to open files with (registered on first use; never the default for the process).
const char* batchedWritesVfs();

} // namespace morrowlen::repo
