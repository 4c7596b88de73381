// Parts of one library call run at the same time, with the results of
// running them one after the other.
//
// Each task runs on a thread that carries the calling thread's call: its work
// directory (whose lock the call holds for them), the directory's in-memory
// store, the fast-path switch, the minimiser's settings, the local function
// table and the cancel flag, with `threadsEach` threads for its element-wise
// loops. What would tell the tasks' order is kept apart and put in order
// afterwards:
// - a task's saves go to MAT-files of its own, in memory, which its loads see
//   first; once all tasks have ended, the files are saved for real in task
//   order, each once with its last content;
// - a task's warnings are passed on in task order;
// - when tasks fail, the first failing one in task order has its exception
//   rethrown, after its files (as far as it got) and those of the tasks
//   before it are saved and their warnings passed on; what later tasks did
//   is dropped.
// The tasks draw no random numbers (a draw in a task on a thread of its own
// is a host error: the generators belong to the calling thread) and touch no
// other state of it. A task reads no file that an earlier task writes: it
// would find the file as it was before the tasks began.
#pragma once

#include <functional>
#include <vector>

namespace ulv {

void runTasksInOrder(const std::vector<std::function<void()>>& tasks, unsigned threadsEach);

}  // namespace ulv
