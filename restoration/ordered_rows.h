// Rows worked out on several threads and handed over in scan order. The work
// of a row may run on any thread; its hand-over always runs on the calling
// thread, row after row, first to last, as a single loop would do them.
#pragma once

#include <functional>

namespace morvane {

// Works out row r. Returns false when the run ends at this row (its hand-over
// still comes, the rows after it get neither). An exception ends the run at
// this row too: it leaves RecorrerFilasEnOrden at the row's turn, before the
// row's hand-over.
using RowWork = std::function<bool(int r)>;
// Hands row r over on the calling thread. An exception ends the run there.
using RowDone = std::function<void(int r)>;

// For r = first .. last - 1 in order: work(r), then done(r), stopping at the
// first row that ends the run, exactly as one thread doing both would. threads
// 0 means one per processor. With more than one, up to that many threads work rows ahead of the
// hand-over (no row past the one that ended the run is started once that is known); the rows' work
// must therefore not depend on one another. A thread that cannot be started leaves its share to the
// calling thread. All threads have finished when the call returns or throws.
void RecorrerFilasEnOrden(int first, int last, int threads, const RowWork& work,
                          const RowDone& done);

}  // namespace morvane
