// Attributes that let the compiler check which lock guards what. Clang checks them with
// -Wthread-safety; for other compilers they are empty.
#ifndef HALVEX_RECORDER_THREAD_ANNOTATIONS_H_
#define HALVEX_RECORDER_THREAD_ANNOTATIONS_H_

#if defined(__clang__)
#define HALVEX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define HALVEX_THREAD_ANNOTATION(x)
#endif

// A type whose objects are locks.
#define CAPABILITY(name) HALVEX_THREAD_ANNOTATION(capability(name))
// A type whose objects hold a lock for their lifetime.
#define SCOPED_CAPABILITY HALVEX_THREAD_ANNOTATION(scoped_lockable)
// A field read or written only with the lock held.
#define GUARDED_BY(lock) HALVEX_THREAD_ANNOTATION(guarded_by(lock))
// A pointer whose target is read or written only with the lock held.
#define PT_GUARDED_BY(lock) HALVEX_THREAD_ANNOTATION(pt_guarded_by(lock))
// A function called only with the lock held.
#define REQUIRES(...) HALVEX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// A function called only without the lock, because it takes the lock itself.
#define EXCLUDES(...) HALVEX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// A function that takes the lock and returns with it held.
#define ACQUIRE(...) HALVEX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// A function that releases the lock it was called with.
#define RELEASE(...) HALVEX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// A function that tells the analysis the lock is held, without taking it.
#define ASSERT_CAPABILITY(lock) HALVEX_THREAD_ANNOTATION(assert_capability(lock))
// A function whose locking the analysis cannot follow; say why wherever it is used.
#define NO_THREAD_SAFETY_ANALYSIS HALVEX_THREAD_ANNOTATION(no_thread_safety_analysis)

#endif  // HALVEX_RECORDER_THREAD_ANNOTATIONS_H_
