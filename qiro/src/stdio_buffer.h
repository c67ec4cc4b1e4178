/*
 * The bytes stdio has read and not handed out yet, used in place, as
 * gnulib does: glibc's FILE shows its read pointers, musl has functions.
 */
#ifndef QIRO_STDIO_BUFFER_H
#define QIRO_STDIO_BUFFER_H

#include <stdio.h>
#ifndef __GLIBC__
#include <stdio_ext.h>
#endif

/* The bytes at hand and *n, their count; NULL when there are none. */
static inline const char *qiro_buffered(FILE *f, size_t *n)
{
#ifdef __GLIBC__
	if (f->_IO_write_ptr > f->_IO_write_base) /* writing, not reading */
		return nullptr;
	*n = (size_t)(f->_IO_read_end - f->_IO_read_ptr);
	return *n ? f->_IO_read_ptr : nullptr;
#else
	return __freadptr(f, n);
#endif
}

/* Hands out the first n of them, as reading them would. */
static inline void qiro_take(FILE *f, size_t n)
{
#ifdef __GLIBC__
	f->_IO_read_ptr += n;
#else
	__freadptrinc(f, n);
#endif
}

/* setvbuf(f, NULL, _IONBF, 0): glibc gives a buffer only at the first read. */
static inline bool qiro_unbuffered(FILE *f)
{
#ifdef __GLIBC__
	enum { UNBUFFERED = 0x0002 }; /* glibc's _IO_UNBUFFERED */
	return f->_flags & UNBUFFERED;
#else
	return __fbufsize(f) <= 1;
#endif
}

/*
 * The stream's descriptor, -1 for none (a stream in memory, a cookie's),
 * and fflush only where output waits: on glibc read off the FILE, as a
 * first call of fileno or fflush would cost a short answer some 700
 * instructions, to bind it.
 */
static inline int qiro_fileno(FILE *f)
{
#ifdef __GLIBC__
	enum { IS_FILEBUF = 0x2000 }; /* glibc's _IO_IS_FILEBUF */
	return f->_flags & IS_FILEBUF ? f->_fileno : -1;
#else
	return fileno_unlocked(f);
#endif
}

static inline void qiro_flush(FILE *f)
{
#ifdef __GLIBC__
	if (f->_IO_write_ptr <= f->_IO_write_base)
		return;
#endif
	fflush(f);
}

#endif
