#pragma once
// Clang's thread-safety annotations under short names. Clang checks them
// (with -Wthread-safety): a field marked QV_GUARDED_BY(m) is read and written
// only with m held, a function marked QV_REQUIRES(m) is called only with m
// held. Other compilers see nothing. Locks that carry the annotations are in
// AnnotatedMutex.h; std::mutex carries none, so fields guarded by one cannot be
// checked.
//
//   class Counter {
//       AnnotatedMutex mutex_;
//       int value_ QV_GUARDED_BY(mutex_) = 0;
//   public:
//       void add() { AnnotatedLock lock(mutex_); ++value_; }
//   };

#if defined(__clang__)
#define QV_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QV_THREAD_ANNOTATION(x)
#endif

// On a class: objects of it are locks ("mutex").
#define QV_CAPABILITY(name) QV_THREAD_ANNOTATION(capability(name))
// On a class: objects of it hold a lock from construction to destruction.
#define QV_SCOPED_CAPABILITY QV_THREAD_ANNOTATION(scoped_lockable)
// On a field: read and written only with the lock held.
#define QV_GUARDED_BY(lock) QV_THREAD_ANNOTATION(guarded_by(lock))
// On a pointer field: what it points to is used only with the lock held.
#define QV_PT_GUARDED_BY(lock) QV_THREAD_ANNOTATION(pt_guarded_by(lock))
// On a function: called with the lock(s) held (exclusively / shared).
#define QV_REQUIRES(...) QV_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define QV_REQUIRES_SHARED(...) QV_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
// On a function: takes / gives back the lock(s) (none named: the object itself).
#define QV_ACQUIRE(...) QV_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define QV_RELEASE(...) QV_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// On a function: takes the lock when it answers `result`.
#define QV_TRY_ACQUIRE(...) QV_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
// On a function: called with the lock(s) not held (it takes them itself).
#define QV_EXCLUDES(...) QV_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// On a function: answers the lock that guards something.
#define QV_RETURN_CAPABILITY(lock) QV_THREAD_ANNOTATION(lock_returned(lock))
// On a function: asserts (at run time) that the lock is held.
#define QV_ASSERT_CAPABILITY(lock) QV_THREAD_ANNOTATION(assert_capability(lock))
// On a function whose locking the analysis cannot follow; say why beside it.
#define QV_NO_THREAD_SAFETY_ANALYSIS QV_THREAD_ANNOTATION(no_thread_safety_analysis)
