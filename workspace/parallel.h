// Work split over threads, for every operation of the program. One budget says
// how many threads one operation may use; the window leaves it at one per
// processor, the batch sets 1 while it runs several pictures at once.
#pragma once

#include <functional>

namespace morvane {

// Sets the budget: n > 0 threads at most, 0 one per processor (the default).
// Returns the setting it replaces.
int FijarHilosPorOperacion(int n);
// The budget as a thread count, at least 1.
int HilosPorOperacion();
// Whether the budget was set to a count (n > 0). An operation then uses that
// many threads wherever its work can be split; on the default budget it first
// asks whether its work is worth the threads.
bool HilosFijados();

// Runs band(row0, row1, b) for bands b = 0 .. bandas - 1 that split rows
// [first, last) into consecutive runs of nearly equal length, band 0 on the
// calling thread and the others each on a thread of its own. A thread that
// cannot be started leaves its band to the calling thread. band must not
// throw. All bands are done when the call returns.
void RecorrerBandas(int first, int last, int bandas,
                    const std::function<void(int row0, int row1, int b)>& band);

// Works out row r. Returns false when the run ends at this row (its in-order step
// still comes, the rows after it get neither). An exception ends the run at
// this row too: it leaves RecorrerFilasEnOrden at the row's turn, before the
// row's in-order step.
using RowWork = std::function<bool(int r)>;
// Hands row r over on the calling thread. An exception ends the run there.
using RowDone = std::function<void(int r)>;

// For r = first .. last - 1 in order: work(r), then done(r), stopping at the
// first row that ends the run, exactly as one thread doing both would. threads
// 0 means the budget. With more than one, up to that many threads work rows
// ahead of the in-order step (no row past the one that ended the run is started
// once that is known); the rows' work must therefore not depend on one
// another. A thread that cannot be started leaves its share to the calling
// thread. All threads have finished when the call returns or throws.
void RecorrerFilasEnOrden(int first, int last, int threads, const RowWork& work,
                          const RowDone& done);

}  // namespace morvane
