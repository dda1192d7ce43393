// Link seams of the Wine suite: the name of the pointer that calls through
// __declspec(dllimport) read, which a seam defines in place of the import library's
// entry. 32-bit names carry C's leading underscore and stdcall's argument bytes; 64-bit
// names neither.
#pragma once

#if defined(__i386__)
#define VELMOR_IMPORT_POINTER(name, argumentBytes) "__imp__" #name "@" #argumentBytes
#else
#define VELMOR_IMPORT_POINTER(name, argumentBytes) "__imp_" #name
#endif
