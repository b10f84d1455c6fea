// Stand-in for the C runtime's low-level I/O declarations that the console set-up uses.
#ifndef HALVEX_STANDIN_IO_H_
#define HALVEX_STANDIN_IO_H_

#include <cstdio>

typedef int errno_t;

extern "C" {

// The descriptor of a stream; -1 for a null stream.
int _fileno(FILE* stream);

// Points descriptor `fd2` at what `fd1` refers to; 0 on success, -1 on failure. In the model the
// console is the process's own standard streams, so between two standard descriptors (0 to 2)
// this is recorded and changes nothing.
int _dup2(int fd1, int fd2);

// Reopens `stream` on `filename`; 0 on success, an errno value on failure (with *pFile null).
// "CONOUT$" and "CONIN$" name the console: with one attached or allocated, the stream keeps
// writing where it did, and the reopening is recorded; without one, it fails with ENOENT and
// the stream is left as it was.
errno_t freopen_s(FILE** pFile, const char* filename, const char* mode, FILE* stream);

}  // extern "C"

#endif  // HALVEX_STANDIN_IO_H_
