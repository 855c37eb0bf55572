#pragma once
// The process-wide stores as a new process finds them: tests play several runs in one process.

namespace tonvera::test {

// Forgets the shared taste store's four lists: the next use loads them from the files again.
void forgetTasteStore();
// Ends every report send (skipping or aborting them), waits for the send queue and forgets the
// reporter's state.
void forgetReporter();

}  // namespace tonvera::test
