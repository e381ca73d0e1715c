#pragma once
// Which thread is the process's main thread: the one whose thread id is the
// process id. It sits below every other platform folder, so any of them (and
// the thread assertions) can ask without knowing threads or run loops.
bool isProcessMainThread();
