/* The marker by which a guest program shows the instruction counter (count_plugin.c) where its
   measured work starts and ends: a getppid system call, which ignores its arguments, with this
   value as the first argument and the marker's number as the second. Shared by C and C++. */
#ifndef SORVAN_BENCH_COUNT_MARKER_H
#define SORVAN_BENCH_COUNT_MARKER_H

#define SORVAN_COUNT_MARKER 0x536f7276616eULL /* "Sorvan" */

#endif
