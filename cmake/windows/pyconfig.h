/* CPython's configuration as python.org builds it for 64-bit Windows (the
   hand-written PC/pyconfig.h of CPython's sources, 3.12 and 3.13, not the
   free-threaded build), for compiling an extension module with zig's
   MinGW-w64 headers: CPython ships no headers in its embeddable package,
   and a Unix pyconfig.h describes another ABI (a 64-bit long, a 4-byte
   wchar_t). Only what the public headers read is here. */
#ifndef Py_CONFIG_H
#define Py_CONFIG_H

#define MS_WIN32
#define MS_WIN64
#define MS_WINDOWS
#define NT_THREADS
#define WITH_THREAD
#define PLATFORM "win32"

/* python3XX.dll: functions and data are imported with __declspec(dllimport). */
#define Py_ENABLE_SHARED 1
#define HAVE_DECLSPEC_DLL

/* LLP64: int and long are 32 bits, pointers and Py_ssize_t 64. */
typedef long long Py_ssize_t;
#define PY_SSIZE_T_MAX LLONG_MAX
#define HAVE_PY_SSIZE_T 1
#define SIZEOF_SHORT 2
#define SIZEOF_INT 4
#define SIZEOF_LONG 4
#define SIZEOF_LONG_LONG 8
#define SIZEOF_FLOAT 4
#define SIZEOF_DOUBLE 8
#define SIZEOF_VOID_P 8
#define SIZEOF_SIZE_T 8
#define SIZEOF_TIME_T 8
#define SIZEOF_OFF_T 4
#define SIZEOF_FPOS_T 8
#define SIZEOF_HKEY 8
#define SIZEOF_WCHAR_T 2
#define SIZEOF__BOOL 1
#define SIZEOF_PID_T SIZEOF_INT
#define ALIGNOF_SIZE_T 8
#define ALIGNOF_MAX_ALIGN_T 8
#define LONG_BIT 32
#define WORD_BIT 32
#define DOUBLE_IS_LITTLE_ENDIAN_IEEE754 1
#define HAVE_LARGEFILE_SUPPORT

#define HAVE_STDDEF_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_WCHAR_H 1

#define WITH_DOC_STRINGS 1
#define WITH_PYMALLOC 1

#endif /* Py_CONFIG_H */
